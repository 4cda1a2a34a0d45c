// Tallowin: the arguments as wide texts, as the installer passes them.
#include <string>
#include <vector>

#include "platform/StringConversion.h"
#include "tools/stats_installer/StatsInstaller.h"

int main(int argc, char** argv) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < argc; ++i) texts.push_back(platform::Utf8ToWide(argv[i] ? argv[i] : ""));
    std::vector<wchar_t*> wide;
    for (std::wstring& text : texts) wide.push_back(&text[0]);
    wide.push_back(nullptr);
    return InstallerMain(argc, wide.data());
}
