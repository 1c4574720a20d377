#include "dist/InstallTree.h"

#include "dist/DistTestSupport.h"

#include <memory>

namespace disttest {

const InstallTree& installedTree() {
    static const std::unique_ptr<ScratchDir> dir = std::make_unique<ScratchDir>();
    static const InstallTree tree = [] {
        InstallTree t;
        const std::string prefix = dir->path() + "/prefix";
        const ToolResult r = runTool({kCMake, "--install", kBuildDir, "--prefix", prefix});
        t.log = r.output;
        if (r.exitCode == 0) {
            t.prefix = prefix;
            t.programDir = prefix + "/lib/sonvale";
        }
        return t;
    }();
    return tree;
}

} // namespace disttest
