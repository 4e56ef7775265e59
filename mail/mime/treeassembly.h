// Assemble of an entity or a body: the modified entities and bodies of the tree below are written
// once, top down, into one new text that they then share as pieces of it, so that assembling a
// deeply nested message copies each byte once and the tree still holds about one copy of it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mail/mime/textbuffer.h"

class DwBody;
class DwEntity;
class DwHeaders;

class DwTreeAssembly {
public:
    // Nothing happens to a node that is not modified; otherwise its text and the texts of the
    // modified nodes below are rebuilt from their children, as each node's Assemble rebuilds it.
    static void Run(DwEntity& entity);
    static void Run(DwBody& body);

private:
    // What a modified body is written as, found while measuring.
    struct BodyForm {
        int type = 0;
        std::string boundary;
    };

    // The size the node's text will have; assembles the header blocks on the way.
    size_t Measure(DwEntity& entity);
    size_t Measure(DwBody& body);
    // Appends the node's text and makes the node a piece of the new text.
    void Write(DwEntity& entity);
    void Write(DwBody& body);
    void MoveHeaders(DwHeaders& headers, size_t start);
    template <class Node> void Assemble(Node& node);

    std::string out_;
    std::shared_ptr<DwTextBuffer> buffer_;
    std::vector<BodyForm> forms_;
    size_t nextForm_ = 0;
};
