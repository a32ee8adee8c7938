// What the decision costs per key press, next to the one table read it cannot do without, over
// the same mix of key events in the same run.
#include "translation/key_decision.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct KeyEvent {
    uint32_t vk;
    uint32_t scan;
    uint32_t flags;
    ModifierSnapshot modifiers;
};

struct Key {
    uint32_t vk;
    uint32_t scan;
    uint32_t flags = 0;
};

LayoutEntry Table[kLayoutEntryCount];

// Long enough that the branch predictor cannot learn it by heart, short enough for the cache.
constexpr size_t kMixLength = 4096;

// Someone typing: mostly letters, Shift now and then, Alt rarely, spaces and Enter between
// words, some editing keys and Ctrl shortcuts, and Caps Lock left on or off for long stretches.
std::vector<KeyEvent> TypingMix() {
    static const Key letters[] = {{'Q', 16}, {'W', 17}, {'E', 18}, {'R', 19}, {'T', 20}, {'Y', 21},
                                  {'U', 22}, {'I', 23}, {'O', 24}, {'P', 25}, {'A', 30}, {'S', 31},
                                  {'D', 32}, {'F', 33}, {'G', 34}, {'H', 35}, {'J', 36}, {'K', 37},
                                  {'L', 38}, {'Z', 44}, {'X', 45}, {'C', 46}, {'V', 47}, {'B', 48},
                                  {'N', 49}, {'M', 50}};
    static const Key digitsAndSigns[] = {{'1', 2},   {'2', 3},   {'5', 6},   {'9', 10},
                                         {0xBC, 51}, {0xBE, 52}, {0xBA, 39}, {0xDE, 40},
                                         {0xC0, 41}, {0xBF, 53}};
    // Space, Enter, Backspace, Tab, the arrows and Delete (extended keys), Left Shift, F5.
    static const Key unmapped[] = {{0x20, 57},    {0x20, 57},    {0x20, 57},    {0x0D, 28},
                                   {0x08, 14},    {0x09, 15},    {0x25, 75, 1}, {0x27, 77, 1},
                                   {0x26, 72, 1}, {0x28, 80, 1}, {0xA0, 42},    {0x2E, 83, 1},
                                   {0x74, 63}};
    static const Key shortcuts[] = {{'C', 46}, {'V', 47}, {'X', 45}, {'Z', 44}, {'S', 31}};

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> percent(0, 99);
    auto pick = [&random](const auto& keys) {
        const size_t count = sizeof(keys) / sizeof(keys[0]);
        return keys[std::uniform_int_distribution<size_t>(0, count - 1)(random)];
    };

    std::vector<KeyEvent> mix;
    mix.reserve(kMixLength);
    int32_t capsLock = 1;
    int stretch = 0;
    while (mix.size() < kMixLength) {
        if (stretch-- <= 0) {
            capsLock = !capsLock;
            // On for about 150 presses at a time, off for about 50.
            stretch =
                std::uniform_int_distribution<int>(capsLock ? 50 : 10, capsLock ? 250 : 90)(random);
        }
        ModifierSnapshot m{capsLock, 0, 0, 0, 0};
        Key key;
        const int kind = percent(random);
        if (kind < 70) {
            key = pick(letters);
        } else if (kind < 78) {
            key = pick(digitsAndSigns);
        } else if (kind < 95) {
            key = pick(unmapped);
        } else {
            key = pick(shortcuts);
            m.ctrl = 1;
        }
        if (!m.ctrl) {
            const int modifier = percent(random);
            m.shift = modifier < 12 || modifier >= 98;
            m.alt = modifier >= 95;
        }
        mix.push_back(KeyEvent{key.vk, key.scan, key.flags, m});
    }
    return mix;
}

const std::vector<KeyEvent>& Mix() {
    static const std::vector<KeyEvent> mix = TypingMix();
    return mix;
}

unsigned Plane(const KeyEvent& e) {
    return (e.modifiers.shift ? 2u : 0u) + (e.modifiers.alt ? 1u : 0u);
}

void DecideEachKey(benchmark::State& state) {
    const std::vector<KeyEvent>& events = Mix();
    for (auto _ : state) {
        for (const KeyEvent& e : events) {
            KeyAction action = DecideKeyAction(e.vk, e.scan, e.flags, e.modifiers, 0, Table);
            benchmark::DoNotOptimize(action);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events.size()));
}

// A table accessor of the usual kind, a call with its plane check, kept out of line as a
// function of another file would be.
[[gnu::noinline]] uint16_t LayoutUnit(const LayoutEntry& entry, unsigned plane) {
    return plane < kLayoutPlaneCount ? entry.*kLayoutPlanes[plane] : 0;
}

// The table read alone, through that accessor: like the decision, one call per key event, so the
// two differ only by the deciding.
void ReadEachKey(benchmark::State& state) {
    const std::vector<KeyEvent>& events = Mix();
    for (auto _ : state) {
        for (const KeyEvent& e : events) {
            uint16_t unit = e.scan < kLayoutEntryCount ? LayoutUnit(Table[e.scan], Plane(e)) : 0;
            benchmark::DoNotOptimize(unit);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events.size()));
}

// The same read compiled into the loop, with no call at all: the floor of what a key press
// can cost, for reference.
void ReadEachKeyInline(benchmark::State& state) {
    const std::vector<KeyEvent>& events = Mix();
    for (auto _ : state) {
        for (const KeyEvent& e : events) {
            uint16_t unit = e.scan < kLayoutEntryCount ? Table[e.scan].*kLayoutPlanes[Plane(e)] : 0;
            benchmark::DoNotOptimize(unit);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * events.size()));
}

BENCHMARK(DecideEachKey)->Unit(benchmark::kNanosecond);
BENCHMARK(ReadEachKey)->Unit(benchmark::kNanosecond);
BENCHMARK(ReadEachKeyInline)->Unit(benchmark::kNanosecond);

// Shows Google Benchmark's own report on standard error and keeps each benchmark's median.
class MedianCollector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const double* Median(const std::string& name) const {
        const auto found = medians.find(name);
        return found == medians.end() ? nullptr : &found->second;
    }

  private:
    std::map<std::string, double> medians; // CPU nanoseconds per pass over the mix
};

// One row for ./bench: figure|value|baseline|ratio.
void PrintRow(const char* figure, double nanoseconds, double baselineNanoseconds) {
    std::printf("%s|%.2f ns|%.2f ns|%.2fx\n", figure, nanoseconds, baselineNanoseconds,
                nanoseconds / baselineNanoseconds);
}

} // namespace

int main(int argc, char** argv) {
    BuildLayout(Table);

    // Repetitions run in shuffled order, so that a burst of load on the machine does not fall on
    // one side only. Arguments given on the command line come later and win.
    std::vector<char*> args{argv[0]};
    std::string defaults[] = {"--benchmark_repetitions=12",
                              "--benchmark_enable_random_interleaving=true",
                              "--benchmark_report_aggregates_only=true", "--benchmark_color=false"};
    for (std::string& flag : defaults) {
        args.push_back(flag.data());
    }
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 2;
    }

    MedianCollector collector;
    collector.SetOutputStream(&std::cerr);
    collector.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();

    const double* decide = collector.Median("DecideEachKey");
    const double* read = collector.Median("ReadEachKey");
    const double* readInline = collector.Median("ReadEachKeyInline");
    if (decide == nullptr || read == nullptr || readInline == nullptr) {
        std::fprintf(stderr, "key_decision_bench: a benchmark gave no median\n");
        return 1;
    }
    const double perEvent = *decide / kMixLength;
    PrintRow("Key decision per key event vs a LayoutUnit call (reference)", perEvent,
             *read / kMixLength);
    PrintRow("Key decision per key event vs a table read inlined in the loop (reference)", perEvent,
             *readInline / kMixLength);
    return 0;
}
