#include "mail/walk/notice.h"

#include "base/tvlist.h"

const char kServiceWebAddress[] = "https://tarvo.example/antivirus";

std::string DeletedPartNotice(tvList& findings) {
    const std::string rule(56, '-');
    std::string text = "This part of message has been infected or contains mailware and was deleted!\r\n"
                       "Tarvo (R) Daemon report:\r\n";
    for (uint32_t i = 0; i < findings.Count(); ++i) {
        const char* line = static_cast<const char*>(findings.GetAt(i));
        if (line) text += line;
        text += '\n';
    }
    text += "\r\n" + rule + "\r\n";
    text += std::string("Tarvo (R) Antivirus Service:") + "      " + kServiceWebAddress + "\r\n";
    text += rule + "\r\n";
    return text;
}
