#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "Dump.hpp"
#include "Injector.hpp"
#include "LauncherSlot.hpp"
#include "Manifest.hpp"
#include "PackageBuilder.hpp"
#include "platform/Error.hpp"
#include "platform/ProgramArguments.hpp"
#include "platform/Text.hpp"

using namespace tarvos;
using namespace tarvos::pack;

namespace {

int Usage() {
    std::cerr << "usage: tarvos-pack build SKIN_DIR -o PACKAGE    build a configuration package from a skin folder\n"
                 "       tarvos-pack inject PACKAGE LAUNCHER       put a package into a built launcher, in place\n"
                 "       tarvos-pack dump LAUNCHER|PACKAGE         print what a package holds\n";
    return 2;
}

int Build(const std::vector<std::string>& a) {
    if (a.size() != 4 || a[2] != "-o") return Usage();
    BuildResult result = BuildPackage(ReadManifest(PathFromUtf8(a[1])));
    for (const auto& w : result.warnings) std::cerr << "warning: " << w << "\n";
    WriteWholeFile(PathFromUtf8(a[3]), result.package);
    std::cout << "package " << a[3] << ": " << result.package.size() << " bytes, "
              << PackForSlot(result.package).size() << " packed" << std::endl;
    return 0;
}

int Inject(const std::vector<std::string>& a) {
    if (a.size() != 3) return Usage();
    Bytes package = ReadWholeFile(PathFromUtf8(a[1]));
    InjectPackage(package, PathFromUtf8(a[2]));
    std::cout << "injected " << a[1] << " into " << a[2] << std::endl;
    return 0;
}

bool IsExecutable(const Bytes& file) {
    return (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z') ||
           (file.size() >= 4 && file[0] == 0x7F && file[1] == 'E' && file[2] == 'L' && file[3] == 'F');
}

int Dump(const std::vector<std::string>& a) {
    if (a.size() != 2) return Usage();
    Bytes file = ReadWholeFile(PathFromUtf8(a[1]));
    if (!IsExecutable(file)) return DumpPackage(file, std::cout) ? 0 : 1;
    auto package = PackageOfLauncher(file);
    if (!package) {
        std::cout << "no usable configuration in " << a[1] << " (the launcher would say \"Sorry! Not found the config\")\n";
        return 1;
    }
    std::cout << "launcher " << a[1] << "\n";
    return DumpPackage(*package, std::cout) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    auto args = ProgramArguments(argc, argv);
    if (args.empty()) return Usage();
    try {
        if (args[0] == "build") return Build(args);
        if (args[0] == "inject") return Inject(args);
        if (args[0] == "dump") return Dump(args);
    } catch (const TarvosError& error) {
        std::cerr << "tarvos-pack: " << error.what() << std::endl;
        return 1;
    }
    return Usage();
}
