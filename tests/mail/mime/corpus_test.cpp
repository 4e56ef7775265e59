// The messages of tests/mail/corpus: each NAME.eml parses to the tree in NAME.tree; assembled and
// parsed again it gives the same tree.
#include "mail/mime/message.h"
#include "treedump.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kCorpus = TARVO_SOURCE_DIR "/tests/mail/corpus/";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> CorpusNames() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(kCorpus.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".eml") == 0)
                names.push_back(name.substr(0, name.size() - 4));
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Corpus, ParseAssembleParse) {
    const std::vector<std::string> names = CorpusNames();
    ASSERT_GE(names.size(), 13u);
    for (const std::string& name : names) {
        const std::string expected = ReadFile(kCorpus + name + ".tree");
        ASSERT_FALSE(expected.empty()) << name << ".tree is missing";
        std::unique_ptr<DwMessage> message(DwMessage::NewMessage(ReadFile(kCorpus + name + ".eml"), nullptr));
        message->Parse();
        EXPECT_EQ(DumpTree(*message), expected) << name;
        message->Assemble();
        std::unique_ptr<DwMessage> again(DwMessage::NewMessage(message->Text(), nullptr));
        again->Parse();
        EXPECT_EQ(DumpTree(*again), expected) << name << " assembled:\n" << message->Text();
        // Assembling an unchanged tree again changes nothing.
        again->Assemble();
        EXPECT_EQ(again->Text(), message->Text()) << name;
    }
}

} // namespace
