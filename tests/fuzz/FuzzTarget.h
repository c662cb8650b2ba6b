#pragma once
// A fuzz target: FUZZ_TARGET(name) { ... } reads `data` and `size` and checks
// a property with FUZZ_CHECK. The same source builds two ways:
// - with clang's libFuzzer (scripts/fuzz, VX_SANITIZE=fuzzer): one
//   executable per target whose entry point is LLVMFuzzerTestOneInput;
// - in every other build: registered by name in the executable `fuzz_replay`,
//   which runs each file of a target's corpus through it as an ordinary test,
//   so a finding that was fixed stays fixed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

using TargetFunction = void (*)(const uint8_t* data, size_t size);

// Replay build: adds a target to the table fuzz_replay looks names up in.
bool registerTarget(const char* name, TargetFunction function);
// Once per process before the first input (log sink, clock, Qt-free set-up).
void prepare();
// A property does not hold: says which and where, then aborts, which the
// fuzzer records as a finding and the replay as a failed test.
[[noreturn]] void fail(const char* file, int line, const char* what);

// The input as text.
inline std::string_view text(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace fuzz

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            ::fuzz::fail(__FILE__, __LINE__, #cond);                                                                   \
    } while (0)

#ifdef VX_FUZZ_ENTRY
#define FUZZ_TARGET(name)                                                                                              \
    static void fuzzTarget_##name(const uint8_t* data, size_t size);                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                           \
    {                                                                                                                  \
        static const bool prepared = (::fuzz::prepare(), true);                                                        \
        (void)prepared;                                                                                                \
        fuzzTarget_##name(data, size);                                                                                 \
        return 0;                                                                                                      \
    }                                                                                                                  \
    static void fuzzTarget_##name(const uint8_t* data, size_t size)
#else
#define FUZZ_TARGET(name)                                                                                              \
    static void fuzzTarget_##name(const uint8_t* data, size_t size);                                                  \
    [[maybe_unused]] static const bool fuzzRegistered_##name = ::fuzz::registerTarget(#name, fuzzTarget_##name);      \
    static void fuzzTarget_##name(const uint8_t* data, size_t size)
#endif
