// Rule evaluation against an independent model: expression trees are drawn as rule texts and their
// truth, computed from the tree, is compared with the evaluation of the compiled text.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mail/walk/ruleeval.h"
#include "unix/daemonsettings.h"
#include "unix/logcapture.h"

namespace {

// The state of the fields F0..F3 for the two field tests.
unsigned matchBits = 0;
unsigned missingBits = 0;

int FieldIndex(const char* field) {
    return field[0] == 'F' ? field[1] - '0' : -1;
}

int Matches(const char* field, const char* pattern) {
    EXPECT_STREQ(pattern, "x");
    const int k = FieldIndex(field);
    return k >= 0 && (matchBits >> k & 1);
}

int Missing(const char* field) {
    const int k = FieldIndex(field);
    return k >= 0 && (missingBits >> k & 1);
}

enum class Op { Leaf, And, Or };
enum class Leaf { Eq, Ne, No };

struct Node {
    Op op = Op::Leaf;
    Leaf leaf = Leaf::Eq;
    int field = 0;
    std::unique_ptr<Node> left, right;
};

bool Truth(const Node& n) {
    switch (n.op) {
    case Op::And:
        return Truth(*n.left) && Truth(*n.right);
    case Op::Or:
        return Truth(*n.left) || Truth(*n.right);
    case Op::Leaf:
        break;
    }
    switch (n.leaf) {
    case Leaf::Eq:
        return matchBits >> n.field & 1;
    case Leaf::Ne:
        return !(matchBits >> n.field & 1);
    case Leaf::No:
        return missingBits >> n.field & 1;
    }
    return false;
}

// Paren styles: 0 only where the language needs them (a compound left operand, since an operator
// takes all to its right), 1 around every compound operand and the whole, 2 also around every test.
std::string Text(const Node& n, int style, bool top = true) {
    if (n.op == Op::Leaf) {
        const std::string f = "F" + std::to_string(n.field);
        std::string t =
            n.leaf == Leaf::No ? "NO \"" + f + "\"" : f + (n.leaf == Leaf::Eq ? " = \"x\"" : " != \"x\"");
        return style == 2 ? "( " + t + " )" : t;
    }
    const auto operand = [&](const Node& side, bool isLeft) {
        const std::string t = Text(side, style, false);
        const bool wrap = side.op != Op::Leaf && (isLeft || style > 0);
        return wrap ? "( " + t + " )" : t;
    };
    std::string t = operand(*n.left, true) + (n.op == Op::And ? " AND " : " OR ") + operand(*n.right, false);
    return top && style > 0 ? "( " + t + " )" : t;
}

std::unique_ptr<Node> Copy(const Node& n) {
    auto c = std::make_unique<Node>();
    c->op = n.op;
    c->leaf = n.leaf;
    c->field = n.field;
    if (n.left) c->left = Copy(*n.left);
    if (n.right) c->right = Copy(*n.right);
    return c;
}

// Every tree shape with `leaves` leaves over fields first.., every operator in every position.
void Shapes(int leaves, int first, std::vector<std::unique_ptr<Node>>& out) {
    if (leaves == 1) {
        for (Leaf kind : {Leaf::Eq, Leaf::Ne, Leaf::No}) {
            auto n = std::make_unique<Node>();
            n->leaf = kind;
            n->field = first;
            out.push_back(std::move(n));
        }
        return;
    }
    for (int l = 1; l < leaves; ++l) {
        std::vector<std::unique_ptr<Node>> lefts, rights;
        Shapes(l, first, lefts);
        Shapes(leaves - l, first + l, rights);
        for (const auto& a : lefts)
            for (const auto& b : rights)
                for (Op op : {Op::And, Op::Or}) {
                    auto n = std::make_unique<Node>();
                    n->op = op;
                    n->left = Copy(*a);
                    n->right = Copy(*b);
                    out.push_back(std::move(n));
                }
    }
}

TEST(RuleEvalTest, EveryShapeAgainstTheModel) {
    int checked = 0;
    for (int leaves = 1; leaves <= 4; ++leaves) {
        std::vector<std::unique_ptr<Node>> trees;
        Shapes(leaves, 0, trees);
        for (const auto& tree : trees)
            for (int style = 0; style < 3; ++style) {
                const std::string text = Text(*tree, style);
                RuleTokenTable table;
                std::string error;
                const int count = CheckAndEvaluateRule(text.c_str(), table.data(), kMaxRuleTokens, error);
                ASSERT_GT(count, 0) << text << ": " << error;
                for (matchBits = 0; matchBits < 16; ++matchBits)
                    for (missingBits = 0; missingBits < 16; missingBits += 5) {
                        int result = -1;
                        ASSERT_EQ(
                            EvaluateRuleExpression(0, &result, table.data(), count, error, Matches, Missing),
                            count)
                            << text;
                        ASSERT_EQ(result, Truth(*tree) ? 1 : 0)
                            << text << " with matches " << matchBits << ", missing " << missingBits;
                        ++checked;
                    }
            }
    }
    EXPECT_GT(checked, 100000);
}

int Evaluate(const char* text) {
    RuleTokenTable table;
    std::string error;
    const int count = CheckAndEvaluateRule(text, table.data(), kMaxRuleTokens, error);
    EXPECT_GT(count, 0) << text << ": " << error;
    int result = -1;
    EXPECT_EQ(EvaluateRuleExpression(0, &result, table.data(), count, error, Matches, Missing), count)
        << text;
    return result;
}

TEST(RuleEvalTest, AGroupEndsAtItsParenthesis) {
    missingBits = 0;
    matchBits = 0b0001; // F0 matches, F3 does not
    EXPECT_EQ(Evaluate("( F0 = \"x\" OR F1 = \"x\" OR F2 = \"x\" ) AND F3 = \"x\""), 0);
    EXPECT_EQ(Evaluate("( F0 = \"x\" AND F1 != \"x\" ) AND F3 = \"x\""), 0);
    EXPECT_EQ(Evaluate("( ( F0 = \"x\" OR F1 = \"x\" ) AND F2 != \"x\" ) AND F3 = \"x\""), 0);
    matchBits = 0b1001;
    EXPECT_EQ(Evaluate("( F0 = \"x\" OR F1 = \"x\" OR F2 = \"x\" ) AND F3 = \"x\""), 1);
}

TEST(RuleEvalTest, OperatorsTakeAllToTheirRight) {
    missingBits = 0;
    matchBits = 0b001;                                                 // A true, B and C false
    EXPECT_EQ(Evaluate("F0 = \"x\" OR F1 = \"x\" AND F2 = \"x\""), 1); // A or (B and C)
    EXPECT_EQ(Evaluate("F1 = \"x\" AND F2 = \"x\" OR F0 = \"x\""), 0); // B and (C or A)
    EXPECT_EQ(Evaluate("( F1 = \"x\" AND F2 = \"x\" ) OR F0 = \"x\""), 1);
}

TEST(RuleEvalTest, WithoutFieldTestsEveryTestIsTrue) {
    RuleTokenTable table;
    std::string error;
    const int count = CheckAndEvaluateRule("A != \"x\" OR NO B", table.data(), kMaxRuleTokens, error);
    ASSERT_EQ(count, 6);
    int result = -1;
    EXPECT_EQ(EvaluateRuleExpression(0, &result, table.data(), count, error, nullptr, nullptr), count);
    EXPECT_EQ(result, 1); // 0 OR 1
    EXPECT_EQ(EvaluateRuleExpression(6, &result, table.data(), count, error, nullptr, nullptr), 0);
    EXPECT_EQ(error, "unexpected end of expression");
}

TEST(RuleEvalTest, DebugConditionsTrace) {
    LogCapture log;
    DebugConditions = 1;
    matchBits = 0b01;
    missingBits = 0b10;
    EXPECT_EQ(Evaluate("( F0 = \"x\" ) AND NO \"F1\""), 1);
    DebugConditions = 0;
    const std::vector<std::string> expected = {"(", " 'F0' = 'x' : [1]", " )", "       No 'F1' : [1]",
                                               "1 AND 1: [1]"};
    ASSERT_EQ(log.Lines().size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k)
        EXPECT_NE(log.Lines()[k].find(expected[k]), std::string::npos) << log.Lines()[k];
}

} // namespace
