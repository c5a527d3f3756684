#include "LzxEncoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace ynbpack {

namespace {

constexpr unsigned kNumChars = 256;
constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxMatch = 257;
constexpr unsigned kNumPrimaryLengths = 7;
constexpr unsigned kNumSecondaryLengths = 249;
constexpr unsigned kPretreeSize = 20;
constexpr unsigned kAlignedSize = 8;
constexpr unsigned kMaxSlots = 50;
constexpr unsigned kMaxMainSize = kNumChars + 8 * kMaxSlots;
constexpr unsigned kBlockVerbatim = 1;
constexpr unsigned kBlockAligned = 2;
// The translation size of the x86 call translation, and the frames it
// covers: decoders translate only the first 32,768 frames.
constexpr int64_t kE8FileSize = 12000000;
constexpr std::size_t kE8Frames = 32768;
// Frames parsed together, then split into blocks by their cost.
constexpr std::size_t kFramesPerGroup = 8;
constexpr uint32_t kNone = UINT32_MAX;
constexpr unsigned kHashBits = 17;
constexpr int kCostScale = 16; // costs in 1/16 bit

struct SlotTables {
    std::array<uint8_t, kMaxSlots + 1> extra {};
    std::array<uint32_t, kMaxSlots + 1> base {};
    constexpr SlotTables()
    {
        // Two slots for each count of extra bits, which stops at 17.
        for (unsigned i = 0, bits = 0; i <= kMaxSlots; i += 2) {
            extra[i] = static_cast<uint8_t>(bits);
            if (i + 1 <= kMaxSlots)
                extra[i + 1] = static_cast<uint8_t>(bits);
            if (i != 0 && bits < 17)
                ++bits;
        }
        for (unsigned i = 1; i <= kMaxSlots; ++i)
            base[i] = base[i - 1] + (1u << extra[i - 1]);
    }
};
constexpr SlotTables kSlots;

unsigned PositionSlots(unsigned windowBits)
{
    return windowBits == 21 ? 50 : windowBits == 20 ? 42 : 2 * windowBits;
}

// The slot of a formatted offset (the distance plus 2; 0 to 2 name the
// repeated offsets).
unsigned SlotOf(uint32_t formatted)
{
    if (formatted < 4)
        return formatted;
    if (formatted >= kSlots.base[36])
        return 36 + ((formatted - kSlots.base[36]) >> 17);
    const unsigned log = 31 - static_cast<unsigned>(__builtin_clz(formatted));
    return 2 * log + ((formatted >> (log - 1)) & 1);
}

// Bits into 16-bit little-endian words, most significant bit first.
class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out)
        : out_(&out)
    {
    }
    void Put(uint32_t value, unsigned bits)
    {
        if (bits == 0)
            return;
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        written_ += bits;
        while (count_ >= 16) {
            count_ -= 16;
            const auto word = static_cast<uint16_t>(acc_ >> count_);
            out_->push_back(static_cast<unsigned char>(word));
            out_->push_back(static_cast<unsigned char>(word >> 8));
        }
        acc_ &= (uint64_t { 1 } << count_) - 1;
    }
    void Align() { Put(0, (16 - count_) % 16); }
    uint64_t Bits() const { return written_; }
    void Retarget(std::vector<unsigned char>& out) { out_ = &out; }

private:
    std::vector<unsigned char>* out_;
    uint64_t acc_ = 0;
    unsigned count_ = 0;
    uint64_t written_ = 0; // every bit put
};

// Canonical codes: shorter codes first, equal lengths in symbol order.
void CanonicalCodes(const uint8_t* lengths, std::size_t count, uint16_t* codes)
{
    unsigned perLength[17] = {};
    for (std::size_t i = 0; i < count; ++i)
        ++perLength[lengths[i]];
    perLength[0] = 0;
    unsigned next[17] = {};
    for (unsigned bits = 1, code = 0; bits <= 16; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        next[bits] = code;
    }
    for (std::size_t i = 0; i < count; ++i)
        codes[i] = lengths[i] != 0 ? static_cast<uint16_t>(next[lengths[i]]++) : 0;
}

struct Tree {
    std::vector<uint8_t> lengths;
    std::vector<uint16_t> codes;
    void Build(const std::vector<uint32_t>& frequencies, unsigned maxLength)
    {
        lengths = LzxCodeLengths(frequencies, maxLength);
        codes.assign(lengths.size(), 0);
        CanonicalCodes(lengths.data(), lengths.size(), codes.data());
    }
    void Put(BitWriter& writer, unsigned symbol) const { writer.Put(codes[symbol], lengths[symbol]); }
};

// One step of the parse: a literal (length 0) or a match.
struct Item {
    uint32_t extra; // the offset's bits below its slot's base
    uint16_t main; // the main tree's symbol
    uint16_t length; // bytes covered; 0 for a literal
};

class Encoder {
public:
    Encoder(const unsigned char* data, std::size_t size, const LzxOptions& options, LzxStats& stats)
        : data_(data)
        , size_(size)
        , options_(options)
        , stats_(stats)
        , windowMask_((1u << options.windowBits) - 1)
        , maxDistance_((1u << options.windowBits) - 3)
        , mainSize_(kNumChars + 8 * PositionSlots(options.windowBits))
        , head_(std::size_t { 1 } << kHashBits, kNone)
        , prev_(std::min<std::size_t>(std::size_t { 1 } << options.windowBits, std::max<std::size_t>(size, 1)), kNone)
        , prevMain_(mainSize_, 0)
        , prevLength_(kNumSecondaryLengths, 0)
    {
        // prev_ holds the chain link of each position of the last window
        // (fewer for a folder smaller than the window).
        prevMask_ = prev_.size() == (std::size_t { 1 } << options.windowBits) ? windowMask_ : UINT32_MAX;
        SetDefaultCosts();
    }

    bool Run(std::vector<std::vector<unsigned char>>& frames, bool e8)
    {
        e8_ = e8;
        const std::size_t frameCount = (size_ + kLzxFrameSize - 1) / kLzxFrameSize;
        frames.assign(frameCount, {});
        for (std::size_t group = 0; group < frameCount; group += kFramesPerGroup) {
            const std::size_t end = std::min(frameCount, group + kFramesPerGroup);
            Parse(group, end);
            std::size_t first = group;
            for (std::size_t last : ChooseBlocks(group, end)) {
                const auto savedMain = prevMain_;
                const auto savedLength = prevLength_;
                WriteBlock(first, last, frames);
                if (!FramesFit(frames, first, last)) {
                    // Trees of its own for each frame keep every frame within
                    // what the decoders take.
                    prevMain_ = savedMain;
                    prevLength_ = savedLength;
                    for (std::size_t f = first; f < last; ++f) {
                        WriteBlock(f, f + 1, frames);
                        if (!FramesFit(frames, f, f + 1))
                            return false;
                    }
                }
                first = last;
            }
        }
        return true;
    }

private:
    struct Choice {
        uint32_t length = 0;
        uint32_t distance = 0;
        unsigned repeat = 3; // 0 to 2: the repeated offset used; 3: a new offset
        int value = 0; // the bits saved against literals, in cost units
    };

    static bool FramesFit(const std::vector<std::vector<unsigned char>>& frames, std::size_t first, std::size_t last)
    {
        for (std::size_t f = first; f < last; ++f)
            if (frames[f].size() > kLzxMaxFrameBytes)
                return false;
        return true;
    }

    void SetDefaultCosts()
    {
        mainCost_.fill(9 * kCostScale);
        lengthCost_.fill(6 * kCostScale);
        literalCost_ = 8 * kCostScale;
    }

    // The next block's estimates from this block's code lengths.
    void UpdateCosts(const Tree& main, const Tree& length, const std::vector<uint32_t>& mainFrequencies)
    {
        uint64_t literalBits = 0, literals = 0;
        for (unsigned i = 0; i < mainSize_; ++i) {
            mainCost_[i] = main.lengths[i] != 0 ? main.lengths[i] * kCostScale : 16 * kCostScale;
            if (i < kNumChars) {
                literalBits += uint64_t { mainFrequencies[i] } * main.lengths[i];
                literals += mainFrequencies[i];
            }
        }
        for (unsigned i = 0; i < kNumSecondaryLengths; ++i)
            lengthCost_[i] = length.lengths[i] != 0 ? length.lengths[i] * kCostScale : 16 * kCostScale;
        literalCost_ = literals != 0 ? static_cast<int>(literalBits * kCostScale / literals) : 8 * kCostScale;
    }

    uint32_t Hash(std::size_t pos) const
    {
        const uint32_t v = data_[pos] | data_[pos + 1] << 8 | data_[pos + 2] << 16;
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    void InsertUpTo(std::size_t pos)
    {
        for (; inserted_ < pos; ++inserted_) {
            if (inserted_ + 3 > size_)
                continue;
            const uint32_t h = Hash(inserted_);
            prev_[inserted_ & prevMask_] = head_[h];
            head_[h] = static_cast<uint32_t>(inserted_);
        }
    }

    uint32_t MatchLength(std::size_t pos, std::size_t from, uint32_t maxLength) const
    {
        uint32_t length = 0;
        while (length + 8 <= maxLength) {
            uint64_t a, b;
            std::memcpy(&a, data_ + pos + length, 8);
            std::memcpy(&b, data_ + from + length, 8);
            if (a != b)
                return length + static_cast<uint32_t>(__builtin_ctzll(a ^ b) >> 3);
            length += 8;
        }
        while (length < maxLength && data_[pos + length] == data_[from + length])
            ++length;
        return length;
    }

    int MatchCost(uint32_t length, unsigned slot) const
    {
        const unsigned header = std::min(length - kMinMatch, kNumPrimaryLengths);
        int cost = mainCost_[kNumChars + slot * 8 + header] + kSlots.extra[slot] * kCostScale;
        if (header == kNumPrimaryLengths)
            cost += lengthCost_[length - kMinMatch - kNumPrimaryLengths];
        return cost;
    }

    // The most profitable match at pos that ends within the frame.
    Choice Best(std::size_t pos, std::size_t frameEnd)
    {
        InsertUpTo(pos);
        Choice best;
        const auto maxLength = static_cast<uint32_t>(std::min<std::size_t>(kMaxMatch, frameEnd - pos));
        if (maxLength < kMinMatch)
            return best;
        uint32_t longestRepeat = 0;
        for (unsigned r = 0; r < 3; ++r) {
            const uint32_t distance = repeats_[r];
            if (distance > pos || (r > 0 && distance == repeats_[0]) || (r == 2 && distance == repeats_[1]))
                continue;
            const uint32_t length = MatchLength(pos, pos - distance, maxLength);
            if (length < kMinMatch)
                continue;
            longestRepeat = std::max(longestRepeat, length);
            const int value = static_cast<int>(length) * literalCost_ - MatchCost(length, r);
            if (value > best.value)
                best = { length, distance, r, value };
        }
        if (longestRepeat == maxLength || pos + 3 > size_)
            return best;

        FindMatches(pos, maxLength);
        const auto [longest, longestDistance] = matches_.empty() ? std::pair<uint32_t, uint32_t>() : matches_.back();
        if (longestDistance != 0) {
            const unsigned slot = SlotOf(longestDistance + 2);
            const int value = static_cast<int>(longest) * literalCost_ - MatchCost(longest, slot);
            if (value > best.value)
                best = { longest, longestDistance, 3, value };
        }
        return best;
    }

    void EmitLiteral(std::size_t pos) { items_.push_back({ 0, data_[pos], 0 }); }

    void EmitMatch(const Choice& choice)
    {
        unsigned slot = choice.repeat;
        uint32_t extra = 0;
        if (choice.repeat == 1)
            std::swap(repeats_[0], repeats_[1]);
        else if (choice.repeat == 2)
            std::swap(repeats_[0], repeats_[2]);
        else if (choice.repeat == 3) {
            const uint32_t formatted = choice.distance + 2;
            slot = SlotOf(formatted);
            extra = formatted - kSlots.base[slot];
            repeats_[2] = repeats_[1];
            repeats_[1] = repeats_[0];
            repeats_[0] = choice.distance;
        }
        const unsigned header = std::min(choice.length - kMinMatch, kNumPrimaryLengths);
        items_.push_back(
            { extra, static_cast<uint16_t>(kNumChars + slot * 8 + header), static_cast<uint16_t>(choice.length) });
    }

    void Parse(std::size_t first, std::size_t last)
    {
        items_.clear();
        frameItems_.clear();
        parsedFirst_ = first;
        for (std::size_t f = first; f < last; ++f) {
            frameItems_.push_back(items_.size());
            const std::size_t start = f * kLzxFrameSize;
            const std::size_t end = std::min(size_, start + kLzxFrameSize);
            if (options_.optimal)
                ParseOptimal(start, end);
            else
                ParseLazy(start, end);
        }
        frameItems_.push_back(items_.size());
    }

    // Near-optimal parsing of one frame: the cheapest path by the current
    // cost estimates through every literal, every length of the repeated
    // offsets and of the nearest match of each length, each position keeping
    // the repeated offsets of its path. A match of niceLength or more is taken
    // at once.
    void ParseOptimal(std::size_t start, std::size_t end)
    {
        const std::size_t n = end - start;
        nodes_.resize(kLzxFrameSize + 1);
        for (std::size_t i = 1; i <= n; ++i)
            nodes_[i].cost = UINT32_MAX;
        nodes_[0].cost = 0;
        std::copy(std::begin(repeats_), std::end(repeats_), nodes_[0].repeats);
        auto relax = [&](std::size_t from, uint32_t length, uint32_t distance, unsigned repeat, int cost) {
            Node& to = nodes_[from + std::max<uint32_t>(length, 1)];
            const uint32_t total = nodes_[from].cost + static_cast<uint32_t>(cost);
            if (total >= to.cost)
                return;
            to.cost = total;
            to.length = length;
            to.distance = distance;
            to.repeat = static_cast<uint8_t>(repeat);
            const uint32_t* r = nodes_[from].repeats;
            if (length == 0 || repeat == 0)
                std::copy(r, r + 3, to.repeats);
            else if (repeat == 3)
                to.repeats[0] = distance, to.repeats[1] = r[0], to.repeats[2] = r[1];
            else
                to.repeats[0] = r[repeat], to.repeats[repeat] = r[0], to.repeats[3 - repeat] = r[3 - repeat];
        };
        for (std::size_t i = 0; i < n;) {
            const std::size_t pos = start + i;
            relax(i, 0, 0, 0, mainCost_[data_[pos]]);
            const auto maxLength = static_cast<uint32_t>(std::min<std::size_t>(kMaxMatch, n - i));
            if (maxLength < kMinMatch) {
                ++i;
                continue;
            }
            const uint32_t* r = nodes_[i].repeats;
            uint32_t jump = 0;
            for (unsigned k = 0; k < 3; ++k) {
                if (r[k] > pos || (k > 0 && r[k] == r[0]) || (k == 2 && r[2] == r[1]))
                    continue;
                const uint32_t length = MatchLength(pos, pos - r[k], maxLength);
                if (length >= options_.niceLength) {
                    relax(i, length, r[k], k, MatchCost(length, k));
                    jump = std::max(jump, length);
                    continue;
                }
                for (uint32_t l = kMinMatch; l <= length; ++l)
                    relax(i, l, r[k], k, MatchCost(l, k));
            }
            if (jump == 0 && pos + 3 <= size_) {
                FindMatches(pos, maxLength);
                uint32_t shorter = 2;
                for (const auto& [length, distance] : matches_) {
                    if (distance == r[0] || distance == r[1] || distance == r[2]) {
                        shorter = length;
                        continue; // the repeated offset covers it for less
                    }
                    const unsigned slot = SlotOf(distance + 2);
                    if (length >= options_.niceLength) {
                        relax(i, length, distance, 3, MatchCost(length, slot));
                        jump = length;
                        break;
                    }
                    for (uint32_t l = shorter + 1; l <= length; ++l)
                        relax(i, l, distance, 3, MatchCost(l, slot));
                    shorter = length;
                }
            }
            i += jump != 0 ? jump : 1;
        }
        // The path back from the frame's end, then its steps in order.
        std::size_t steps = 0;
        for (std::size_t i = n; i > 0; i -= std::max<uint32_t>(nodes_[i].length, 1))
            path_[steps++] = static_cast<uint32_t>(i);
        while (steps > 0) {
            const std::size_t i = path_[--steps];
            const Node& node = nodes_[i];
            if (node.length == 0)
                EmitLiteral(start + i - 1);
            else
                EmitMatch({ node.length, node.distance, node.repeat, 0 });
        }
    }

    // Every match at pos longer than the ones nearer, nearest first, into
    // matches_ (so the last is the longest).
    void FindMatches(std::size_t pos, uint32_t maxLength)
    {
        InsertUpTo(pos);
        matches_.clear();
        const uint32_t maxDistance = static_cast<uint32_t>(std::min<std::size_t>(pos, maxDistance_));
        uint32_t longest = 2;
        uint32_t candidate = head_[Hash(pos)];
        for (unsigned steps = options_.chainLength; candidate != kNone && steps > 0; --steps) {
            const uint32_t distance = static_cast<uint32_t>(pos - candidate);
            if (distance > maxDistance)
                break;
            if (data_[candidate + longest] == data_[pos + longest]) {
                const uint32_t length = MatchLength(pos, candidate, maxLength);
                if (length > longest) {
                    longest = length;
                    matches_.emplace_back(length, distance);
                    if (length >= options_.niceLength || length == maxLength)
                        break;
                }
            }
            const uint32_t next = prev_[candidate & prevMask_];
            if (next >= candidate)
                break;
            candidate = next;
        }
    }

    // Lazy matching: a match is deferred by one byte when the next position
    // offers a more profitable one.
    void ParseLazy(std::size_t start, std::size_t end)
    {
        std::size_t pos = start;
        Choice current = Best(pos, end);
        while (pos < end) {
            if (current.length == 0) {
                EmitLiteral(pos++);
                if (pos < end)
                    current = Best(pos, end);
                continue;
            }
            if (current.length < options_.niceLength && pos + 1 < end) {
                const Choice next = Best(pos + 1, end);
                if (next.value > current.value) {
                    EmitLiteral(pos++);
                    current = next;
                    continue;
                }
            }
            EmitMatch(current);
            pos += current.length;
            current = pos < end ? Best(pos, end) : Choice {};
        }
    }

    // The pretree-coded lengths of cur[first, last), as differences from the
    // previous block's.
    void WriteLengths(BitWriter& writer, const uint8_t* prev, const uint8_t* cur, unsigned first, unsigned last)
    {
        struct Code {
            uint8_t symbol, bits;
            uint8_t extra;
        };
        std::vector<Code> codes;
        std::vector<uint32_t> frequencies(kPretreeSize, 0);
        for (unsigned i = first; i < last;) {
            if (cur[i] == 0) {
                unsigned run = 1;
                while (i + run < last && cur[i + run] == 0 && run < 51)
                    ++run;
                if (run >= 20) {
                    codes.push_back({ 18, 5, static_cast<uint8_t>(run - 20) });
                    ++frequencies[18];
                    i += run;
                    continue;
                }
                if (run >= 4) {
                    codes.push_back({ 17, 4, static_cast<uint8_t>(run - 4) });
                    ++frequencies[17];
                    i += run;
                    continue;
                }
            }
            const auto symbol = static_cast<uint8_t>((prev[i] + 17 - cur[i]) % 17);
            codes.push_back({ symbol, 0, 0 });
            ++frequencies[symbol];
            ++i;
        }
        Tree pretree;
        pretree.Build(frequencies, 15);
        for (unsigned i = 0; i < kPretreeSize; ++i)
            writer.Put(pretree.lengths[i], 4);
        for (const Code& code : codes) {
            pretree.Put(writer, code.symbol);
            writer.Put(code.extra, code.bits);
        }
    }

    // A block's trees and type, and its size.
    struct Plan {
        Tree main, length, aligned;
        std::vector<uint32_t> mainFrequencies;
        bool useAligned = false;
        uint64_t bits = 0; // header, trees, symbols and offset bits
    };

    // The trees of frames [first, last) of the parsed ones as one block,
    // verbatim or aligned-offset, whichever is smaller.
    Plan MakePlan(std::size_t first, std::size_t last)
    {
        Plan plan;
        const std::size_t beginItem = frameItems_[first - parsedFirst_];
        const std::size_t endItem = frameItems_[last - parsedFirst_];
        plan.mainFrequencies.assign(mainSize_, 0);
        std::vector<uint32_t> lengthFrequencies(kNumSecondaryLengths, 0), alignedFrequencies(kAlignedSize, 0);
        uint64_t verbatimBits = 0, alignedOnly = 0;
        for (std::size_t i = beginItem; i < endItem; ++i) {
            const Item& item = items_[i];
            ++plan.mainFrequencies[item.main];
            if (item.length == 0)
                continue;
            if (((item.main - kNumChars) & 7) == kNumPrimaryLengths)
                ++lengthFrequencies[item.length - kMinMatch - kNumPrimaryLengths];
            const unsigned bits = kSlots.extra[(item.main - kNumChars) >> 3];
            verbatimBits += bits;
            if (bits >= 3) {
                ++alignedFrequencies[item.extra & 7];
                alignedOnly += 3;
            }
        }
        // The decoders undo the call translation only once a block's main
        // tree gives the byte E8 a code: the first block does.
        if (e8_ && first == 0 && plan.mainFrequencies[0xE8] == 0)
            plan.mainFrequencies[0xE8] = 1;
        plan.main.Build(plan.mainFrequencies, 16);
        plan.length.Build(lengthFrequencies, 16);
        plan.aligned.Build(alignedFrequencies, 7);
        uint64_t alignedBits = 3 * kAlignedSize + verbatimBits - alignedOnly;
        for (unsigned i = 0; i < kAlignedSize; ++i)
            alignedBits += uint64_t { alignedFrequencies[i] } * plan.aligned.lengths[i];
        plan.useAligned = alignedBits < verbatimBits;
        plan.bits = std::min(alignedBits, verbatimBits);
        for (unsigned i = 0; i < mainSize_; ++i)
            plan.bits += uint64_t { plan.mainFrequencies[i] } * plan.main.lengths[i];
        for (unsigned i = 0; i < kNumSecondaryLengths; ++i)
            plan.bits += uint64_t { lengthFrequencies[i] } * plan.length.lengths[i];
        std::vector<unsigned char> scratch;
        BitWriter trees(scratch);
        WriteTrees(trees, plan);
        plan.bits += trees.Bits();
        return plan;
    }

    void WriteTrees(BitWriter& writer, const Plan& plan)
    {
        writer.Put(plan.useAligned ? kBlockAligned : kBlockVerbatim, 3);
        writer.Put(0, 24); // the block's size, filled in by WriteBlock
        if (plan.useAligned)
            for (unsigned i = 0; i < kAlignedSize; ++i)
                writer.Put(plan.aligned.lengths[i], 3);
        WriteLengths(writer, prevMain_.data(), plan.main.lengths.data(), 0, kNumChars);
        WriteLengths(writer, prevMain_.data(), plan.main.lengths.data(), kNumChars, mainSize_);
        WriteLengths(writer, prevLength_.data(), plan.length.lengths.data(), 0, kNumSecondaryLengths);
    }

    // The blocks of the parsed frames [first, last): the split into runs of
    // whole frames that makes them smallest by their plans (the trees coded
    // against the ones before the first), as the ends of the blocks.
    std::vector<std::size_t> ChooseBlocks(std::size_t first, std::size_t last)
    {
        const std::size_t count = last - first;
        std::vector<uint64_t> best(count + 1, UINT64_MAX);
        std::vector<std::size_t> from(count + 1, 0);
        best[0] = 0;
        for (std::size_t j = 1; j <= count; ++j)
            for (std::size_t i = 0; i < j; ++i) {
                const uint64_t bits = best[i] + MakePlan(first + i, first + j).bits;
                if (bits < best[j]) {
                    best[j] = bits;
                    from[j] = i;
                }
            }
        std::vector<std::size_t> ends;
        for (std::size_t j = count; j > 0; j = from[j])
            ends.push_back(first + j);
        std::reverse(ends.begin(), ends.end());
        return ends;
    }

    // Frames [first, last) of the parsed ones as one block; each frame
    // padded to 16 bits.
    void WriteBlock(std::size_t first, std::size_t last, std::vector<std::vector<unsigned char>>& frames)
    {
        const Plan plan = MakePlan(first, last);
        const Tree& main = plan.main;
        const Tree& length = plan.length;
        const Tree& aligned = plan.aligned;
        const bool useAligned = plan.useAligned;
        frames[first].clear();
        BitWriter writer(frames[first]);
        if (first == 0) {
            writer.Put(e8_ ? 1 : 0, 1);
            if (e8_) {
                writer.Put(static_cast<uint32_t>(kE8FileSize >> 16), 16);
                writer.Put(static_cast<uint32_t>(kE8FileSize & 0xFFFF), 16);
            }
        }
        const std::size_t blockSize = std::min(size_, last * kLzxFrameSize) - first * kLzxFrameSize;
        writer.Put(useAligned ? kBlockAligned : kBlockVerbatim, 3);
        writer.Put(static_cast<uint32_t>(blockSize >> 8), 16);
        writer.Put(static_cast<uint32_t>(blockSize & 0xFF), 8);
        if (useAligned)
            for (unsigned i = 0; i < kAlignedSize; ++i)
                writer.Put(aligned.lengths[i], 3);
        WriteLengths(writer, prevMain_.data(), main.lengths.data(), 0, kNumChars);
        WriteLengths(writer, prevMain_.data(), main.lengths.data(), kNumChars, mainSize_);
        WriteLengths(writer, prevLength_.data(), length.lengths.data(), 0, kNumSecondaryLengths);
        stats_.treeBits += writer.Bits();
        ++stats_.blocks;
        stats_.alignedBlocks += useAligned ? 1 : 0;

        for (std::size_t f = first; f < last; ++f) {
            if (f > first) {
                frames[f].clear();
                writer.Retarget(frames[f]);
            }
            for (std::size_t i = frameItems_[f - parsedFirst_]; i < frameItems_[f + 1 - parsedFirst_]; ++i) {
                const Item& item = items_[i];
                const uint64_t before = writer.Bits();
                main.Put(writer, item.main);
                if (item.length == 0) {
                    stats_.literalBits += writer.Bits() - before;
                    continue;
                }
                if (((item.main - kNumChars) & 7) == kNumPrimaryLengths)
                    length.Put(writer, item.length - kMinMatch - kNumPrimaryLengths);
                const unsigned bits = kSlots.extra[(item.main - kNumChars) >> 3];
                if (useAligned && bits >= 3) {
                    writer.Put(item.extra >> 3, bits - 3);
                    aligned.Put(writer, item.extra & 7);
                } else {
                    writer.Put(item.extra, bits);
                }
                stats_.matchBits += writer.Bits() - before;
            }
            writer.Align();
        }
        prevMain_ = main.lengths;
        prevLength_ = length.lengths;
        UpdateCosts(main, length, plan.mainFrequencies);
    }

    const unsigned char* data_;
    std::size_t size_;
    LzxOptions options_;
    LzxStats& stats_;
    uint32_t windowMask_;
    uint32_t prevMask_ = 0;
    uint32_t maxDistance_;
    unsigned mainSize_;
    bool e8_ = false;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> prev_;
    std::size_t inserted_ = 0;
    uint32_t repeats_[3] = { 1, 1, 1 };
    struct Node {
        uint32_t cost; // from the frame's start, in cost units
        uint32_t length; // of the step that reaches it; 0 for a literal
        uint32_t distance;
        uint32_t repeats[3]; // the repeated offsets after that step
        uint8_t repeat; // as in Choice
    };
    std::vector<Node> nodes_;
    std::vector<uint32_t> path_ = std::vector<uint32_t>(kLzxFrameSize + 1);
    std::vector<std::pair<uint32_t, uint32_t>> matches_; // length, distance
    std::vector<Item> items_;
    std::vector<std::size_t> frameItems_; // the first item of each parsed frame, and the end
    std::size_t parsedFirst_ = 0;
    std::vector<uint8_t> prevMain_;
    std::vector<uint8_t> prevLength_;
    std::array<int, kMaxMainSize> mainCost_ {};
    std::array<int, kNumSecondaryLengths> lengthCost_ {};
    int literalCost_ = 0;
};

// The x86 call translation's frames: the first 32,768 frames longer than 10
// bytes, without their last 10 bytes. visit(at, position) gets each E8 byte
// whose operand the decoders look at.
template <typename Visit>
void ForEachCall(std::size_t size, const unsigned char* data, Visit visit)
{
    const std::size_t frames = std::min((size + kLzxFrameSize - 1) / kLzxFrameSize, kE8Frames);
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t start = f * kLzxFrameSize;
        const std::size_t length = std::min(kLzxFrameSize, size - start);
        if (length <= 10)
            continue;
        for (std::size_t i = start; i < start + length - 10;) {
            if (data[i] != 0xE8) {
                ++i;
                continue;
            }
            visit(i);
            i += 5;
        }
    }
}

int32_t Operand(const unsigned char* at)
{
    return static_cast<int32_t>(
        static_cast<uint32_t>(at[0] | at[1] << 8 | at[2] << 16) | static_cast<uint32_t>(at[3]) << 24);
}

// Worth it when relative calls into the folder itself are frequent, as in
// x86 and x64 programs; elsewhere it would only scatter repeated data.
bool WantsE8(const unsigned char* data, std::size_t size)
{
    std::size_t calls = 0;
    ForEachCall(size, data, [&](std::size_t at) {
        const int64_t target = int64_t { Operand(data + at + 1) } + static_cast<int64_t>(at);
        if (target >= 0 && target < static_cast<int64_t>(std::min<std::size_t>(size, kE8FileSize)))
            ++calls;
    });
    return calls * 1024 >= size && calls >= 16;
}

// The encoder's side of the translation: each operand r at position p
// becomes the value the decoders map back to r.
void TranslateE8(unsigned char* data, std::size_t size)
{
    ForEachCall(size, data, [&](std::size_t at) {
        const int64_t position = static_cast<int64_t>(at);
        const int64_t relative = Operand(data + at + 1);
        int64_t value = relative;
        if (relative >= -position && relative < kE8FileSize - position)
            value = relative + position;
        else if (relative >= kE8FileSize - position && relative < kE8FileSize)
            value = relative - kE8FileSize;
        const auto bits = static_cast<uint32_t>(static_cast<int32_t>(value));
        for (int i = 0; i < 4; ++i)
            data[at + 1 + i] = static_cast<unsigned char>(bits >> (8 * i));
    });
}

} // namespace

std::vector<uint8_t> LzxCodeLengths(const std::vector<uint32_t>& frequencies, unsigned maxLength)
{
    const std::size_t count = frequencies.size();
    std::vector<uint8_t> lengths(count, 0);
    std::vector<uint32_t> used;
    for (std::size_t i = 0; i < count; ++i)
        if (frequencies[i] != 0)
            used.push_back(static_cast<uint32_t>(i));
    if (used.size() < 2) {
        // One code of length 1 would leave the code incomplete.
        for (std::size_t i = 0; i < count && used.size() < 2; ++i)
            if (frequencies[i] == 0)
                used.push_back(static_cast<uint32_t>(i));
        for (uint32_t symbol : used)
            lengths[symbol] = 1;
        return lengths;
    }
    std::vector<uint64_t> weights(used.size());
    for (std::size_t i = 0; i < used.size(); ++i)
        weights[i] = frequencies[used[i]];
    for (;;) {
        // Two queues: the leaves by weight (then symbol), and the inner nodes
        // in the order they are made, which is by weight too.
        const std::size_t leaves = used.size();
        std::vector<uint32_t> order(leaves);
        for (std::size_t i = 0; i < leaves; ++i)
            order[i] = static_cast<uint32_t>(i);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return weights[a] < weights[b]; });
        std::vector<uint64_t> nodeWeight(2 * leaves);
        std::vector<uint32_t> parent(2 * leaves, 0);
        for (std::size_t i = 0; i < leaves; ++i)
            nodeWeight[i] = weights[i];
        std::size_t nextLeaf = 0, nextInner = leaves, made = leaves;
        auto take = [&]() -> uint32_t {
            if (nextLeaf < leaves && (nextInner == made || nodeWeight[order[nextLeaf]] <= nodeWeight[nextInner]))
                return order[nextLeaf++];
            return static_cast<uint32_t>(nextInner++);
        };
        for (std::size_t k = 0; k + 1 < leaves; ++k) {
            const uint32_t a = take(), b = take();
            nodeWeight[made] = nodeWeight[a] + nodeWeight[b];
            parent[a] = parent[b] = static_cast<uint32_t>(made);
            ++made;
        }
        // Depths from the root (the last node made) down.
        std::vector<uint8_t> depth(made, 0);
        unsigned deepest = 0;
        for (std::size_t node = made - 1; node-- > 0;) {
            depth[node] = static_cast<uint8_t>(depth[parent[node]] + 1);
            if (node < leaves)
                deepest = std::max<unsigned>(deepest, depth[node]);
        }
        if (deepest <= maxLength) {
            for (std::size_t i = 0; i < leaves; ++i)
                lengths[used[i]] = depth[i];
            return lengths;
        }
        // Flatter weights until the code fits; all equal gives the flattest.
        for (uint64_t& weight : weights)
            weight = (weight + 1) / 2;
    }
}

bool LzxCompress(const unsigned char* data, std::size_t size, const LzxOptions& options,
    std::vector<std::vector<unsigned char>>& frames, LzxStats* stats)
{
    if (options.windowBits < kLzxMinWindowBits || options.windowBits > kLzxMaxWindowBits || options.chainLength == 0
        || options.niceLength < 3 || size > UINT32_MAX / 2)
        return false;
    LzxStats local;
    LzxStats& out = stats != nullptr ? *stats : local;
    out = {};
    out.e8 = options.calls == LzxOptions::Calls::Auto ? WantsE8(data, size) : options.calls == LzxOptions::Calls::On;
    std::vector<unsigned char> translated;
    if (out.e8) {
        translated.assign(data, data + size);
        TranslateE8(translated.data(), size);
        data = translated.data();
    }
    Encoder encoder(data, size, options, out);
    return encoder.Run(frames, out.e8);
}

} // namespace ynbpack
