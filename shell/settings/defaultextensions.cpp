#include "shell/settings/defaultextensions.h"

#include "base/wildmatch.h"

const char* const DefaultExtensions[kDefaultExtensionCount] = {
    "EXE",  "COM", "DLL", "SYS", "VXD", "OV?", "BAT", "BIN", "DRV", "PRG",  "BOO",  "SCR", "CMD",
    "386",  "FON", "DO?", "XL?", "WIZ", "RTF", "CL*", "HT*", "VB*", "JS*",  "INF",  "PP?", "OBJ",
    "LIB",  "PIF", "HLP", "MD?", "INI", "MBR", "IMG", "CSC", "CPL", "MBP",  "SH",   "SHB", "SHS",
    "SHT*", "CHM", "REG", "XML", "PRC", "ASP", "LSP", "MSO", "OBD", "THE*", "NWS",  "SWF", "MPP",
    "OCX",  "VS*", "DVB", "CPY", "BMP", "RPM", "ISO", "DEB", "AR?", "ZIP",  "R??",  "GZ",  "Z",
    "TGZ",  "TAR", "TAZ", "CAB", "LHA", "LZH", "BZ2", "MSG", "EML", "7Z",   "CPIO", "TBB",
};

bool MatchesDefaultExtension(const char* ext) {
    if (!ext) return false;
    for (const char* pattern : DefaultExtensions)
        if (WildMatch(ext, pattern)) return true;
    return false;
}
