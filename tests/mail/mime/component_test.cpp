#include "mail/mime/component.h"
#include "mail/mime/ownedarray.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A leaf of the test tree: its text is all there is.
class Word : public DwMessageComponent {
public:
    Word(const std::string& text, DwMessageComponent* parent) : DwMessageComponent(text, parent) {
        SetClass(kCidEncodedWord, "DwEncodedWord");
    }
    Word(const Word& other) : DwMessageComponent(other) { SetClass(kCidEncodedWord, "DwEncodedWord"); }
    Word& operator=(const Word&) = default;
    void Parse() override { SetModified(false); }
    void Assemble() override { SetModified(false); }
    DwMessageComponent* Clone() const override { return new Word(*this); }
};

DwCreationHook<Word> gNewWordHook = nullptr;

// A comma-separated list of words, made through a creation function with a hook as the
// library's parsers make their children.
class WordList : public DwMessageComponent {
public:
    WordList(const std::string& text, DwMessageComponent* parent) : DwMessageComponent(text, parent) {
        SetClass(kCidText, "DwText");
    }
    WordList(const WordList& other) : DwMessageComponent(other) { SetClass(kCidText, "DwText"); }
    void Parse() override {
        SetModified(false);
        words_.DeleteAll();
        size_t start = 0;
        while (start <= text_.size()) {
            size_t comma = text_.find(',', start);
            if (comma == std::string::npos) comma = text_.size();
            Word* word = DwCreateNode(gNewWordHook, text_.substr(start, comma - start), this);
            word->Parse();
            words_.Append(word);
            start = comma + 1;
        }
    }
    void Assemble() override {
        if (!IsModified()) return;
        text_.clear();
        for (int i = 0; i < words_.Count(); ++i) {
            words_.At(i)->Assemble();
            if (i) text_ += ',';
            text_ += words_.At(i)->Text();
        }
        SetModified(false);
    }
    DwMessageComponent* Clone() const override { return new WordList(*this); }
    Word* WordAt(int i) const { return words_.At(i); }
    int Count() const { return words_.Count(); }

private:
    DwOwnedArray<Word> words_;
};

TEST(MessageComponent, ClassIdsAndNames) {
    struct {
        DwClassId id;
        int expect;
    } ids[] = {
        {kCidAddress, 1},
        {kCidAddressList, 2},
        {kCidBody, 3},
        {kCidBodyPart, 4},
        {kCidDispositionType, 5},
        {kCidContentFileType, 5},
        {kCidMechanism, 6},
        {kCidMediaType, 7},
        {kCidParameter, 8},
        {kCidDateTime, 9},
        {kCidEntity, 10},
        {kCidField, 11},
        {kCidFieldBody, 12},
        {kCidGroup, 13},
        {kCidHeaders, 14},
        {kCidMailbox, 15},
        {kCidMailboxList, 16},
        {kCidMessage, 17},
        {kCidMessageComponent, 18},
        {kCidMsgId, 19},
        {kCidStamp, 20},
        {kCidText, 21},
        {kCidEncodedWord, 22},
    };
    for (const auto& c : ids) EXPECT_EQ(static_cast<int>(c.id), c.expect);

    WordList list("a", nullptr);
    EXPECT_EQ(list.ClassId(), kCidText);
    EXPECT_STREQ(list.ClassName(), "DwText");
    EXPECT_EQ(list.ObjectKey(), reinterpret_cast<uintptr_t>(&list));
}

TEST(MessageComponent, ConstructorsTakeTextAndParent) {
    WordList parent("", nullptr);
    Word fromString("abc", &parent);
    EXPECT_EQ(fromString.Text(), "abc");
    EXPECT_EQ(fromString.Parent(), &parent);
    EXPECT_FALSE(fromString.IsModified());

    struct Raw : DwMessageComponent {
        Raw(const char* c, size_t n) : DwMessageComponent(c, n, nullptr) {}
        void Parse() override {}
        void Assemble() override {}
        DwMessageComponent* Clone() const override { return nullptr; }
    };
    Raw raw("a\0bc", 3);
    EXPECT_EQ(raw.Text(), std::string("a\0b", 3));
    EXPECT_EQ(raw.ClassId(), kCidMessageComponent);
    EXPECT_STREQ(raw.ClassName(), "DwMessageComponent");
    EXPECT_EQ(Raw(nullptr, 5).Text(), "");
}

TEST(MessageComponent, ChangeBelowMarksThePathToTheRoot) {
    WordList root("a,b,c", nullptr);
    root.Parse();
    ASSERT_EQ(root.Count(), 3);
    EXPECT_FALSE(root.IsModified());
    EXPECT_EQ(root.WordAt(1)->Parent(), &root);

    root.WordAt(1)->SetText(std::string("X"));
    EXPECT_TRUE(root.IsModified());
    EXPECT_FALSE(root.WordAt(1)->IsModified());
    root.Assemble();
    EXPECT_EQ(root.Text(), "a,X,c");
    EXPECT_FALSE(root.IsModified());

    // Unchanged: Assemble leaves the text alone even when the children differ from it.
    root.WordAt(0)->DwMessageComponent::operator=(Word("zzz", nullptr));
    root.Assemble();
    EXPECT_EQ(root.Text(), "a,X,c");
}

TEST(MessageComponent, SetTextFormsDifferOnTheOwnFlag) {
    WordList root("a", nullptr);
    Word word("w", &root);
    word.MarkModified();
    EXPECT_TRUE(root.IsModified());
    root.SetText(std::string("r")); // the std::string form clears the own flag
    EXPECT_FALSE(root.IsModified());

    word.SetText("c-string");
    EXPECT_TRUE(word.IsModified());
    EXPECT_TRUE(root.IsModified());
    EXPECT_EQ(word.Text(), "c-string");
    word.SetText(static_cast<const char*>(nullptr));
    EXPECT_EQ(word.Text(), "");

    word.SetText(std::string("s"));
    EXPECT_FALSE(word.IsModified());
}

TEST(MessageComponent, MarkModifiedReachesEveryAncestorOfADeepChain) {
    std::vector<std::unique_ptr<Word>> chain;
    chain.push_back(std::make_unique<Word>("root", nullptr));
    for (int i = 1; i < 100000; ++i) chain.push_back(std::make_unique<Word>("n", chain.back().get()));
    chain.back()->MarkModified();
    EXPECT_TRUE(chain.front()->IsModified());
    EXPECT_TRUE(chain[50000]->IsModified());
}

TEST(MessageComponent, CopiesHaveNoParentAndAssignmentKeepsIt) {
    WordList root("x,y", nullptr);
    root.Parse();
    Word* y = root.WordAt(1);
    y->SetText("changed");
    y->MarkModified();
    std::unique_ptr<DwMessageComponent> copy(y->Clone());
    EXPECT_EQ(copy->Parent(), nullptr);
    EXPECT_EQ(copy->Text(), "changed");
    EXPECT_TRUE(copy->IsModified());
    EXPECT_EQ(copy->ClassId(), kCidEncodedWord);

    Word other("other", nullptr);
    *y = other;
    EXPECT_EQ(y->Text(), "other");
    EXPECT_FALSE(y->IsModified());
    EXPECT_EQ(y->Parent(), &root);
    EXPECT_EQ(y->ClassId(), kCidEncodedWord);
    *y = *y;
    EXPECT_EQ(y->Text(), "other");
}

TEST(MessageComponent, CreationHookReplacesTheNode) {
    static Word* made = nullptr;
    gNewWordHook = [](const std::string& text, DwMessageComponent* parent) {
        made = new Word("hooked:" + text, parent);
        return made;
    };
    WordList list("a,b", nullptr);
    list.Parse();
    gNewWordHook = nullptr;
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.WordAt(1), made);
    EXPECT_EQ(list.WordAt(0)->Text(), "hooked:a");
    EXPECT_EQ(list.WordAt(0)->Parent(), &list);

    list.Parse();
    EXPECT_EQ(list.WordAt(0)->Text(), "a");
}

// Records the order in which items die.
struct Tracked {
    Tracked(int id, std::vector<int>* deaths) : id(id), deaths(deaths) {}
    ~Tracked() { deaths->push_back(id); }
    int id;
    std::vector<int>* deaths;
};

TEST(OwnedArray, GrowsByDoublingAndKeepsOrder) {
    std::vector<int> deaths;
    {
        DwOwnedArray<Tracked> array;
        EXPECT_EQ(array.Capacity(), 10);
        std::vector<int> capacities;
        for (int i = 0; i < 41; ++i) {
            ASSERT_TRUE(array.Append(new Tracked(i, &deaths)));
            capacities.push_back(array.Capacity());
        }
        EXPECT_EQ(capacities[9], 10);
        EXPECT_EQ(capacities[10], 20);
        EXPECT_EQ(capacities[20], 40);
        EXPECT_EQ(capacities[40], 80);
        for (int i = 0; i < 41; ++i) EXPECT_EQ(array.At(i)->id, i);
        EXPECT_TRUE(deaths.empty());
    }
    // The destructor deletes from the last to the first.
    ASSERT_EQ(deaths.size(), 41u);
    for (int i = 0; i < 41; ++i) EXPECT_EQ(deaths[i], 40 - i);

    DwOwnedArray<Tracked, 30> headers;
    EXPECT_EQ(headers.Capacity(), 30);
}

TEST(OwnedArray, InsertClampsAndRemoveHandsTheItemOut) {
    std::vector<int> deaths;
    DwOwnedArray<Tracked> array;
    array.Append(new Tracked(1, &deaths));
    array.InsertAt(-5, new Tracked(0, &deaths));
    array.InsertAt(999, new Tracked(3, &deaths));
    array.InsertAt(2, new Tracked(2, &deaths));
    ASSERT_EQ(array.Count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(array.At(i)->id, i);

    EXPECT_EQ(array.RemoveAt(-1), nullptr);
    EXPECT_EQ(array.RemoveAt(4), nullptr);
    EXPECT_FALSE(array.IsIndex(4));
    std::unique_ptr<Tracked> taken(array.RemoveAt(1));
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->id, 1);
    ASSERT_EQ(array.Count(), 3);
    EXPECT_EQ(array.At(1)->id, 2);
    EXPECT_EQ(array.At(2)->id, 3);

    array.DeleteAll();
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(deaths, (std::vector<int>{3, 2, 0}));
    EXPECT_TRUE(array.Append(new Tracked(9, &deaths)));
}

} // namespace
