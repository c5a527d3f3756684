# Thin driver over CMake. `make test` is what CI runs.
PRODUCT ?= product/demo
BUILD ?= build
DIST ?= dist
FUZZ_SECONDS ?= 20
JOBS ?= $(shell nproc)

product_dir := $(abspath $(PRODUCT))
build_dir := $(abspath $(BUILD))
dist_dir := $(abspath $(DIST))
ynbpack := $(build_dir)/host/tools/ynbpack/ynbpack
wine_run := scripts/wine-run.sh
# The project's version, as CMakeLists.txt gives it.
version := $(shell awk '/^project/ { print $$3 }' CMakeLists.txt)

# Signing of the distributions, off unless both are given: SIGN_CERT the
# code-signing certificate (PEM or DER, its chain after it), SIGN_KEY its
# private key; SIGN_PASS the key's password, SIGN_TIMESTAMP an RFC 3161
# time-stamp server's URL. scripts/dist.sh reads them.
export SIGN_CERT SIGN_KEY SIGN_PASS SIGN_TIMESTAMP

# cmake --preset PRESET -B DIR [extra]
configure = cmake --preset $(1) -B $(build_dir)/$(1) -DPRODUCT_DIR=$(product_dir) $(2) >/dev/null

.PHONY: all deps host product-check win-x86 win-x64 dist release fuzz-build test test-host test-win fuzz fuzz-short bench bench-small run clean

all: host win-x86 win-x64 dist
	@ls -l $(build_dir)/win-x86/setup.exe $(build_dir)/win-x64/setup.exe | awk '{print "setup.exe", $$NF, $$5, "bytes"}'

# The distribution of each architecture: setup.exe (stamped with the payload's
# digest), data00.dat (which carries the uninstaller) and the two documents,
# with the product's own programs when its folder builds any; and a zip of
# each (scripts/dist.sh), signed when SIGN_CERT and SIGN_KEY are given.
dist: product-check win-x86 win-x64
	@set -e; for arch in x86 x64; do \
	  bash scripts/dist.sh $(ynbpack) $(product_dir) $(build_dir)/win-$$arch $$arch $(dist_dir); \
	done

deps:
	@bash scripts/deps.sh

# ynbpack's release: one archive for Linux (x64) and one for Windows, each with
# ynbpack, the prebuilt programs of both architectures, the demo product and
# the guide (docs/MAKING-A-PRODUCT.md), in $(DIST)/release.
release: host win-x86 win-x64
	@bash scripts/release.sh $(build_dir) $(dist_dir) $(version)

# Every target, the benchmarks' included: what is not built rots unseen.
host:
	@$(call configure,host)
	@cmake --build $(build_dir)/host -j $(JOBS)
	@cmake --build $(build_dir)/host -j $(JOBS) --target ynbbench_codec

# Every problem of the product folder in one message, before a build meets
# the first of them.
product-check: host
	@$(ynbpack) check $(product_dir)

win-x86 win-x64: product-check
	@$(call configure,$@,-DYNBPACK=$(ynbpack))
	@cmake --build $(build_dir)/$@ -j $(JOBS)
	@cmake --build $(build_dir)/$@ -j $(JOBS) --target ynbbench_floor setup_bench ynbbench_install

fuzz-build:
	@$(call configure,fuzz)
	@cmake --build $(build_dir)/fuzz -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory all
	@$(MAKE) --no-print-directory test-host test-win bench-small fuzz-short; status=$$?; \
	  bash scripts/wine-stop.sh $(build_dir); exit $$status

test-host:
	@cd $(build_dir)/host && ctest --output-on-failure -j $(JOBS)

test-win:
	@cd $(build_dir)/win-x64 && ctest --output-on-failure -j $(JOBS)
	@cd $(build_dir)/win-x86 && ctest --output-on-failure -j $(JOBS)

fuzz-short:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SECONDS)

fuzz: fuzz-build
	@bash scripts/fuzz.sh $(build_dir)/fuzz $(FUZZ_SECONDS) $(JOBS)

# The installation benchmark once, on a small product: it must keep working.
bench-small:
	@bash bench/install-bench.sh $(build_dir) 1 --small

bench: host win-x64
	@$(build_dir)/host/bench/ynbbench_codec --benchmark_min_time=0.2
	@bash bench/install-bench.sh $(build_dir)
	@bash bench/build-bench.sh $(build_dir)

# setup.exe from its own folder, in a Wine prefix of its own; the 64-bit one
# on a host that cannot run 32-bit programs. The packages first, as for test.
run: deps
	@$(MAKE) --no-print-directory dist
	@export YNB_WINE_ROOT=$(build_dir)/run-wine; launcher=$(abspath $(wine_run)); \
	  cd $(dist_dir)/x86 && $$launcher ./setup.exe; status=$$?; \
	  if [ $$status -eq 77 ]; then cd $(dist_dir)/x64 && $$launcher ./setup.exe; status=$$?; fi; \
	  echo "run: the prefix is $$YNB_WINE_ROOT/prefix"; exit $$status

clean:
	rm -rf $(build_dir) $(dist_dir)
