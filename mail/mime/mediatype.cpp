#include "mail/mime/mediatype.h"

#include "mail/mime/charclass.h"
#include "mail/mime/enums.h"
#include "mail/mime/generators.h"
#include "mail/mime/parameter.h"
#include "mail/mime/tokenizer.h"

DwCreationHook<DwMediaType> DwMediaType::sNewMediaTypeHook = nullptr;

DwMediaType::DwMediaType() {
    SetClass(kCidMediaType, "DwMediaType");
}

DwMediaType::DwMediaType(const std::string& text, DwMessageComponent* parent)
    : DwParameterFieldBody(text, parent) {
    SetClass(kCidMediaType, "DwMediaType");
}

DwMediaType::DwMediaType(const char* chars, size_t length, DwMessageComponent* parent)
    : DwParameterFieldBody(chars, length, parent) {
    SetClass(kCidMediaType, "DwMediaType");
}

DwMediaType::DwMediaType(DwTextSpan span, DwMessageComponent* parent)
    : DwParameterFieldBody(std::move(span), parent) {
    SetClass(kCidMediaType, "DwMediaType");
}

DwMediaType::DwMediaType(const DwMediaType& other)
    : DwParameterFieldBody(other), typeEnum_(other.typeEnum_), subtypeEnum_(other.subtypeEnum_),
      typeStr_(other.typeStr_), subtypeStr_(other.subtypeStr_), boundaryStr_(other.boundaryStr_) {
    SetClass(kCidMediaType, "DwMediaType");
}

DwMediaType& DwMediaType::operator=(const DwMediaType& other) {
    if (this != &other) {
        DwParameterFieldBody::operator=(other);
        typeEnum_ = other.typeEnum_;
        subtypeEnum_ = other.subtypeEnum_;
        typeStr_ = other.typeStr_;
        subtypeStr_ = other.subtypeStr_;
        boundaryStr_ = other.boundaryStr_;
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwMediaType::~DwMediaType() = default;

DwMessageComponent* DwMediaType::Clone() const {
    return new DwMediaType(*this);
}

DwMediaType* DwMediaType::NewMediaType(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewMediaTypeHook, text, parent);
}

namespace {

// The type: the first token before any ';', where the cursor then stands (or on the ';' or the end).
std::string_view ReadType(DwMimeTokenCursor& tokens) {
    int type = tokens.Type();
    while (type != kTokenNull && type != kTokenMimeToken && !tokens.Is(';')) type = tokens.Next();
    return type == kTokenMimeToken ? tokens.Token() : std::string_view();
}

// The end of the run of token bytes from pos on.
size_t TokenRunEnd(std::string_view text, size_t pos) {
    while (pos < text.size() && !HasCharClass(static_cast<unsigned char>(text[pos]),
                                              kCharSpace | kCharControl | kCharTspecial1521))
        ++pos;
    return pos;
}

// The type and the subtype, the subtype after a '/' that comes before any ';'; where the parameters
// start.
size_t ReadNames(std::string_view text, std::string_view& typeName, std::string_view& subtypeName) {
    // Most texts start "type/subtype" then ';' or nothing: the tokens are those runs.
    const size_t slash = TokenRunEnd(text, 0);
    if (slash > 0 && slash < text.size() && text[slash] == '/') {
        const size_t end = TokenRunEnd(text, slash + 1);
        if (end > slash + 1 && (end == text.size() || text[end] == ';')) {
            typeName = text.substr(0, slash);
            subtypeName = text.substr(slash + 1, end - slash - 1);
            return end;
        }
    }
    DwMimeTokenCursor tokens(text);
    typeName = ReadType(tokens);
    if (tokens.Type() == kTokenMimeToken) tokens.Next();
    int type = tokens.Type();
    while (type != kTokenNull && !tokens.Is('/') && !tokens.Is(';')) type = tokens.Next();
    if (tokens.Is('/')) {
        type = tokens.Next();
        while (type != kTokenNull && type != kTokenMimeToken && !tokens.Is(';')) type = tokens.Next();
        if (type == kTokenMimeToken) {
            subtypeName = tokens.Token();
            tokens.Next();
        }
    }
    return tokens.Type() == kTokenNull ? text.size() : tokens.Start();
}

} // namespace

DwMediaType::Names DwMediaType::NamesOf(std::string_view text) {
    Names names;
    names.parametersFrom = ReadNames(text, names.type, names.subtype);
    return names;
}

bool DwMediaType::FilenameOf(std::string_view text, const Names& names, std::string& value) {
    value.clear();
    constexpr std::string_view kFilename = "filename";
    constexpr std::string_view kName = "name";
    // Settled once: which of the two the text must hold.
    constexpr int kSought = SoughtName(kFilename.data(), kFilename.size(), kName.data(), kName.size());
    if (TextValue(text, names.parametersFrom, kFilename.data(), kFilename.size(), kName.data(), kName.size(),
                  kSought, value) != PendingAnswer::kUnsure)
        return true;
    value.clear();
    return false;
}

int DwMediaType::TypeOf(std::string_view text) {
    // As in ReadNames: a text that starts "type/" has that token first.
    const size_t slash = TokenRunEnd(text, 0);
    if (slash > 0 && slash < text.size() && text[slash] == '/') return TypeStrToEnum(text.substr(0, slash));
    DwMimeTokenCursor tokens(text);
    return TypeStrToEnum(ReadType(tokens));
}

bool DwMediaType::MayNamePartsType(std::string_view text) {
    // Either way TypeOf reads it, a text that starts with a token byte has that token for its type.
    if (text.empty() ||
        HasCharClass(static_cast<unsigned char>(text[0]), kCharSpace | kCharControl | kCharTspecial1521))
        return true;
    return (text[0] | 0x20) == 'm';
}

void DwMediaType::Parse() {
    SetModified(false);
    typeStr_.clear();
    subtypeStr_.clear();
    typeEnum_ = kTypeNull;
    subtypeEnum_ = kSubtypeNull;
    DropParameters();
    const std::string_view text = TextView();
    if (!text.empty()) {
        std::string_view typeName, subtypeName;
        const size_t parametersFrom = ReadNames(text, typeName, subtypeName);
        // Both names were cleared above; appending to an empty string costs less than an assign.
        typeStr_.append(typeName);
        subtypeStr_.append(subtypeName);
        ParseParameters(DwMimeTokenCursor(text, parametersFrom));
    }
    SyncTypeEnum();
    SyncSubtypeEnum();
}

void DwMediaType::Assemble() {
    if (!IsModified()) return;
    // Without both names there is nothing well-formed to write: keep the text as it was.
    if (typeStr_.empty() || subtypeStr_.empty()) return;
    std::string text = typeStr_ + "/" + subtypeStr_;
    AppendParameters(text);
    SetTextSpan(DwTextSpan());
    text_ = std::move(text);
    SetModified(false);
}

void DwMediaType::SetType(int type) {
    typeEnum_ = type;
    SyncTypeStr();
    MarkModified();
}

void DwMediaType::SetSubtype(int subtype) {
    subtypeEnum_ = subtype;
    SyncSubtypeStr();
    MarkModified();
}

void DwMediaType::SetTypeStr(const std::string& type) {
    typeStr_ = type;
    SyncTypeEnum();
    MarkModified();
}

void DwMediaType::SetSubtypeStr(const std::string& subtype) {
    subtypeStr_ = subtype;
    SyncSubtypeEnum();
    MarkModified();
}

void DwMediaType::SyncTypeStr() {
    TypeEnumToStr(typeEnum_, typeStr_);
}

void DwMediaType::SyncTypeEnum() {
    typeEnum_ = TypeStrToEnum(typeStr_);
}

void DwMediaType::SyncSubtypeStr() {
    SubtypeEnumToStr(subtypeEnum_, subtypeStr_);
}

void DwMediaType::SyncSubtypeEnum() {
    subtypeEnum_ = SubtypeStrToEnum(subtypeStr_);
}

const std::string& DwMediaType::CacheParameter(std::string& cache, const char* name, const char* otherName) {
    cache = ParameterValue(name, otherName);
    return cache;
}

const std::string& DwMediaType::Boundary() {
    CacheParameter(boundaryStr_, "boundary");
    // A boundary never ends in white space, and readers drop what a writer left there.
    while (!boundaryStr_.empty() && (boundaryStr_.back() == ' ' || boundaryStr_.back() == '\t'))
        boundaryStr_.pop_back();
    return boundaryStr_;
}

const std::string& DwMediaType::Name() {
    return CacheParameter(nameStr_, "name");
}

const std::string& DwMediaType::Charset() {
    return CacheParameter(charsetStr_, "charset");
}

const std::string& DwMediaType::Filename() {
    return CacheParameter(filenameStr_, "filename", "name");
}

void DwMediaType::SetBoundary(const std::string& boundary) {
    boundaryStr_ = boundary;
    SetParameterValue("boundary", boundary);
}

void DwMediaType::SetName(const std::string& name) {
    nameStr_ = name;
    SetParameterValue("name", name);
}

void DwMediaType::CreateBoundary(unsigned level) {
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string boundary = "------------Boundary-";
    boundary += kDigits[(level / 10) % 10];
    boundary += kDigits[level % 10];
    boundary += "=_";
    const uint32_t t = static_cast<uint32_t>(CurrentTime());
    for (uint32_t divisor : {1u, 36u, 1296u, 46656u}) boundary += kDigits[(t / divisor) % 36];
    uint32_t seed = NextSerial() + 444444444u;
    for (int i = 0; i < 4; ++i) {
        const uint32_t r = ParkMillerNext(seed);
        for (int shift : {0, 6, 12, 18}) boundary += kDigits[(r >> shift) % 36];
    }
    SetBoundary(boundary);
}
