// The usage screen, shown when the command line fits neither form, and the
// lines --help adds below it.
#include "driver/usage.hpp"

#include <array>
#include <string_view>

#include "common/command_words.hpp"
#include "common/console.hpp"

namespace {

constexpr std::array<std::string_view, 17> kFirstPage = {
    "          InputFile   : System BIOS to be added with Option ROMs\n",
    "          /D          : For display all combined ROMs informations in BIOS\n",
    "          /epa|epa1-7 : Add EPA LOGO BitMap to System BIOS\n",
    "          /logo|logo1-7: Add OEM LOGO BitMap to System BIOS\n",
    "          /osb_logo|osb_logo1-7: Add OSB LOGO BitMap to System BIOS\n",
    "          /osb_bmp|osb_bmp1-7: Add OSB CPU BitMap to System BIOS\n",
    "          /oem0-7     : Add special OEM ROM to System BIOS\n",
    "          /err        : Return error code after executed\n",
    "          /btvga      : Add VGA ROM to Boot Rom Block Area.\n",
    // 80 characters: the console's wrap ends this line.
    "          /isa        : Add ISA BIOS ROM to System BIOS.(/isa Filename [xxxx:0])",
    "          /vga, /logo, /pci, /krvflash, /cpucode, /epa, /acpitbl, /vsa, /hpm\n",
    "          /hpc, /fnt0 - 5, /ros, /nnoprom, /mib, /group0-5, /NoCompress\n",
    "          /jpeg|jpeg1-3: Add JPEG LOGO to System BIOS\n",
    "          /rpb        : Add RPB ROM to System BIOS\n",
    "          /ver        : Add version table of source code to System BIOS\n",
    "          /jpeg_eng   : Add JPEG engine to System BIOS\n",
    "          /nc_cpucode : Add non-compress cpu code\n",
};

constexpr std::array<std::string_view, 11> kSecondPage = {
    "          /srom0-4    : Add software ROM\n",
    "          /setup0-1   : Add setup ROM\n",
    "          /biosf0-9   : Add BIOS feature ROM\n",
    "          /GV3        : Add GV3 ROM\n",
    "          /CALS       : Calculate ROM Compress size but not add ROM in BIN file\n",
    "          /NVMM       : Add nVIDIA memory moudle\n",
    "          RomFile     : File name of option ROM to add-in\n",
    "          noreserve   : No reserve system color for BMP logo\n",
    "          Release     : Release option ROM in current system BIOS\n",
    "          Extract     : Extract option ROM to File in current system BIOS\n",
    "                      <<< Examples >>>\n",
};

constexpr std::size_t kShortPathLimit = 19;

bool long_form(const std::string& path) {
    return path.size() > kShortPathLimit && path.find('\\') != std::string::npos;
}

}  // namespace

std::string program_display_name(const std::string& path) {
    if (path.size() <= kShortPathLimit) return path;
    std::size_t back = path.rfind('\\');
    if (back != std::string::npos) return std::string(1, path[0]) + ":\\...\\" + path.substr(back + 1);
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void print_usage(const std::string& path, bool page_prompt) {
    const std::string name = program_display_name(path);
    const char* n = name.c_str();
    console::out("Syntax:\n");
    console::outf("     %s InputFile [/other] [8000:0] [RomFile|Release|Extract]\n", n);
    console::outf("     %s InputFile [/D|logo|vga....] [RomFile|Release|Extract]\n", n);
    for (std::string_view line : kFirstPage) console::out(line);
    if (page_prompt) {
        console::out("  - Page - [Press any key....]");
        console::wait_key();
        console::out("\n");
    }
    for (std::string_view line : kSecondPage) console::out(line);
    console::outf("            %s 6a69s000.bin /D\n", n);
    console::outf("            %s 6a69s000.bin /VGA filename\n", n);
    console::outf("            %s 6a69s000.bin /VGA filename /ERR", n);
    if (long_form(path)) console::out("\n");
}

void print_command_words() {
    if (console::column() != 0) console::out("\n");  // the last example of the short form
    console::out("\n        Also (the manual page mozaik32(1) tells the rest):\n");
    for (const CommandWord& w : kCommandWords) {
        std::string word(w.word);
        if (!w.operand.empty()) {
            if (!word.ends_with('=')) word += ' ';  // "slot=X", "/other TypeId"
            word += w.operand;
        }
        console::outf("          %-*s: %s\n", static_cast<int>(kWordColumns), word.c_str(),
                      std::string(w.help).c_str());
    }
}
