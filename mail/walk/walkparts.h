// The walk through the parts of one message (used by the driver).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DwEntity;
class DwHeaders;
class ScanTask;

// What the walk of one message gathers.
struct MailWalkState {
    ScanTask* task = nullptr;
    std::string name;
    int changed = 0;
    uint32_t status = 0;
    // The parts whose body the walk replaced: only these (and the headers) get CR LF line ends when the
    // message is written.
    std::vector<DwEntity*> rewritten;
};

// Walks entity and what it holds; 1 to stop the walk, 0 to go on.
int ScanMultipartParts(MailWalkState& walk, DwEntity& entity);

// One entity scanned as a leaf, its outcome applied to it: the leaf's result bits.
uint32_t ScanLeafEntity(MailWalkState& walk, DwEntity& entity);

// Decodes and scans one leaf; status receives its result bits. The name of the memory object scanned
// last (empty when none was).
std::string ScanMessagePart(DwHeaders& headers, const std::string& body, const std::string& name,
                            ScanTask* task, uint32_t* status);

// The outcome of one leaf applied to its entity: the notice for a deleted part, the cured bytes (base64)
// for a cured one. Returns status.
uint32_t ReplaceScannedPart(MailWalkState& walk, uint32_t status, DwEntity& entity, const std::string* cured);
