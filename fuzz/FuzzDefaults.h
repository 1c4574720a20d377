// Defaults every fuzz target starts with; included by exactly one source of
// each target (its LLVMFuzzerTestOneInput file).
//
// prepend() puts a target's own libFuzzer flags in front of the command
// line from LLVMFuzzerInitialize, which libFuzzer calls before it reads its
// flags: the same flag given on the command line comes later and wins.
//
// The AddressSanitizer options keep the freed-memory quarantine small: the
// inputs are a few KiB, and a large quarantine makes every allocation touch
// fresh pages (page faults and unmapping are most of a short input's cost).
#pragma once

#include <initializer_list>
#include <vector>

namespace fuzz_defaults {

inline void prepend(int* argc, char*** argv, std::initializer_list<const char*> flags) {
    static std::vector<char*> args; // libFuzzer keeps the pointers
    args.clear();
    args.push_back((*argv)[0]);
    for (const char* flag : flags)
        args.push_back(const_cast<char*>(flag));
    for (int i = 1; i < *argc; ++i)
        args.push_back((*argv)[i]);
    args.push_back(nullptr);
    *argc = int(args.size()) - 1;
    *argv = args.data();
}

} // namespace fuzz_defaults

// Strong definition: overrides the sanitizer runtime's weak default.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
