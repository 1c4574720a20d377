// One `cmake --install` of the build into a scratch prefix, shared by the
// tests of one executable (made on first use, removed at exit). Test thread
// only.
#pragma once

#include <string>

namespace disttest {

struct InstallTree {
    std::string prefix;     // the scratch prefix ("" when the install failed)
    std::string log;        // what the install printed
    std::string programDir; // prefix + "/lib/sonvale"
};

const InstallTree& installedTree();

} // namespace disttest
