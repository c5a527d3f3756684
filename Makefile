# Thin driver over CMake. `make test` is what CI runs.
PRODUCT ?= product/demo
BUILD ?= build
FUZZ_SECONDS ?= 30
JOBS ?= $(shell nproc)

product_dir := $(abspath $(PRODUCT))
build_dir := $(abspath $(BUILD))
ynbpack := $(build_dir)/host/tools/ynbpack/ynbpack
wine_run := scripts/wine-run.sh

# cmake --preset PRESET -B DIR [extra]
configure = cmake --preset $(1) -B $(build_dir)/$(1) -DPRODUCT_DIR=$(product_dir) $(2) >/dev/null

.PHONY: all deps host win-x86 win-x64 fuzz-build test test-host test-win fuzz fuzz-short bench run clean

all: host win-x86 win-x64
	@ls -l $(build_dir)/win-x86/setup.exe $(build_dir)/win-x64/setup.exe | awk '{print "setup.exe", $$NF, $$5, "bytes"}'

deps:
	@bash scripts/deps.sh

host:
	@$(call configure,host)
	@cmake --build $(build_dir)/host -j $(JOBS)

win-x86 win-x64: host
	@$(call configure,$@,-DYNBPACK=$(ynbpack))
	@cmake --build $(build_dir)/$@ -j $(JOBS)

fuzz-build:
	@$(call configure,fuzz)
	@cmake --build $(build_dir)/fuzz -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory all
	@$(MAKE) --no-print-directory test-host test-win fuzz-short; status=$$?; \
	  bash scripts/wine-stop.sh $(build_dir)/wine; exit $$status

test-host:
	@cd $(build_dir)/host && ctest --output-on-failure -j $(JOBS)

test-win:
	@cd $(build_dir)/win-x64 && ctest --output-on-failure -j $(JOBS)
	@cd $(build_dir)/win-x86 && ctest --output-on-failure -j $(JOBS)

fuzz-short:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SECONDS)

fuzz: fuzz-build
	@set -e; for f in $(build_dir)/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; name=$$(basename $$f); \
	  mkdir -p $(build_dir)/fuzz/corpus/$$name; \
	  echo "fuzz: $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=0 $(build_dir)/fuzz/corpus/$$name 2>$(build_dir)/fuzz/$$name.log \
	    || { tail -40 $(build_dir)/fuzz/$$name.log; exit 1; }; \
	  grep -E '^(#[0-9]+ +DONE|Done)' $(build_dir)/fuzz/$$name.log | tail -1; \
	done

bench: host
	@$(build_dir)/host/bench/ynbbench_codec --benchmark_min_time=0.2

run: win-x86
	@$(wine_run) $(build_dir)/win-x86/setup.exe || $(wine_run) $(build_dir)/win-x64/setup.exe

clean:
	rm -rf $(build_dir)
