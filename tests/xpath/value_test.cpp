#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/text_buffer.h"
#include "xpath/runtime/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>

namespace ovra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ElementNode* appendElement(Node* parent, std::string_view name, std::string_view text = {}) {
  auto* element = new ElementNode(emptyName(), intern(name), emptyName(), 0, true);
  parent->appendChild(element);
  if (!text.empty())
    element->appendChild(TextNode::makeOwned(text));
  return element;
}

// <r><a>5</a><a>10</a><a>abc</a><b>5</b><e/></r>, plus a fragment <f x="attr">7</f>.
class ValueTest : public ::testing::Test {
 protected:
  ValueTest() : root_(std::make_unique<RootNode>(nullptr)) {
    Node* r = appendElement(root_.get(), "r");
    a5 = appendElement(r, "a", "5");
    a10 = appendElement(r, "a", "10");
    abc = appendElement(r, "a", "abc");
    b5 = appendElement(r, "b", "5");
    e = appendElement(r, "e");
    auto fragmentRoot = std::make_shared<RootNode>(nullptr);
    Node* f = appendElement(fragmentRoot.get(), "f", "7");
    f->appendAttribute(AttributeNode::makeOwned(emptyName(), emptyName(), intern("x"), "attr"));
    fragment = Value::makeFragment(fragmentRoot);
  }

  Value set(std::initializer_list<Node*> nodes) const { return Value::makeNodeSet(nodes); }

  std::unique_ptr<RootNode> root_;
  Node* a5;
  Node* a10;
  Node* abc;
  Node* b5;
  Node* e;
  Value fragment;
};

std::string describe(double number) {
  return std::isnan(number) ? "NaN" : std::to_string(number);
}

TEST_F(ValueTest, ConvertsEveryKindToEveryScalar) {
  struct Case {
    const char* label;
    Value value;
    const char* string;
    double number;
    bool boolean;
  };
  const Case cases[] = {
      {"none", Value(), "", 0, false},
      {"empty set", set({}), "", kNaN, false},
      {"set takes its first member", set({a10, a5}), "10", 10, true},
      {"single node", Value::makeNode(a5), "5", 5, true},
      {"single empty node is still true", Value::makeNode(e), "", kNaN, true},
      {"fragment is its text, not its attributes", fragment, "7", 7, true},
      {"empty fragment is still true", Value::makeFragment(std::make_shared<RootNode>(nullptr)), "",
       kNaN, true},
      {"number 0", Value::makeNumber(0), "0", 0, false},
      {"NaN", Value::makeNumber(kNaN), "NaN", kNaN, false},
      {"-0 is 0 as text", Value::makeNumber(-0.0), "0", -0.0, false},
      {"true", Value::makeBoolean(true), "true", 1, true},
      {"false", Value::makeBoolean(false), "false", 0, false},
      {"empty string", Value::makeString(""), "", kNaN, false},
      {"copied empty string", Value::makeString(String(String())), "", kNaN, false},
      {"string ' 12 '", Value::makeString(" 12 "), " 12 ", 12, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stringOf(c.value).view(), c.string) << c.label;
    EXPECT_EQ(describe(numberOf(c.value)), describe(c.number)) << c.label;
    EXPECT_EQ(booleanOf(c.value), c.boolean) << c.label;

    TextBuffer written;
    writeValue(c.value, written);
    EXPECT_EQ(written.view(), c.string) << c.label;

    Value converted = c.value;
    toNumberValue(converted);
    EXPECT_EQ(converted.kind(), ValueKind::Number) << c.label;
    EXPECT_EQ(describe(converted.number()), describe(c.number)) << c.label;
  }
}

TEST_F(ValueTest, EqualityAndInequalityFollowTheOperandKinds) {
  struct Case {
    const char* label;
    Value left;
    Value right;
    bool equal;
    bool notEqual;
  };
  Value numbers = set({a5, a10, abc});
  const Case cases[] = {
      {"sets sharing a string", numbers, set({b5}), true, true},
      {"sets with one common string only", set({a5}), set({b5}), true, false},
      {"sets with no common string", set({a10}), set({b5}), false, true},
      {"two empty sets", set({}), set({}), false, false},
      {"empty set against a set", set({}), numbers, false, false},
      {"set = number", numbers, Value::makeNumber(10), true, true},
      {"set = NaN", numbers, Value::makeNumber(kNaN), false, true},
      {"set = string", numbers, Value::makeString("abc"), true, true},
      {"set = missing string", numbers, Value::makeString("zz"), false, true},
      {"set = true", numbers, Value::makeBoolean(true), true, false},
      {"empty set = false", set({}), Value::makeBoolean(false), true, false},
      {"number = set swaps", Value::makeNumber(5), numbers, true, true},
      {"set = none", numbers, Value(), false, false},
      {"single node like a set", Value::makeNode(a5), Value::makeNumber(5), true, false},
      {"single node = set", Value::makeNode(b5), numbers, true, true},
      {"fragment on the left", fragment, Value::makeString("7"), true, false},
      {"fragment on the right", Value::makeString("7"), fragment, true, false},
      {"fragment = number", fragment, Value::makeNumber(7), true, false},
      {"fragment = set", fragment, numbers, false, true},
      // Between two non-node-sets a boolean on either side makes it a boolean
      // comparison, else a number a numeric one: the order of the operands never matters.
      {"'abc' = true() compares booleans", Value::makeString("abc"), Value::makeBoolean(true), true,
       false},
      {"'0' = true(): a non-empty string is true", Value::makeString("0"), Value::makeBoolean(true),
       true, false},
      {"'' = false()", Value::makeString(""), Value::makeBoolean(false), true, false},
      {"2 = true() compares booleans", Value::makeNumber(2), Value::makeBoolean(true), true, false},
      {"NaN = false()", Value::makeNumber(kNaN), Value::makeBoolean(false), true, false},
      {"'1.0' = 1 compares numbers", Value::makeString("1.0"), Value::makeNumber(1), true, false},
      {"'05' = 5", Value::makeString("05"), Value::makeNumber(5), true, false},
      {"'001' = 1", Value::makeString("001"), Value::makeNumber(1), true, false},
      {"'x' = NaN", Value::makeString("x"), Value::makeNumber(kNaN), false, true},
      {"'1e0' = 1: no exponents in numbers", Value::makeString("1e0"), Value::makeNumber(1), false,
       true},
      {"'-0' = 0", Value::makeString("-0"), Value::makeNumber(0), true, false},
      {"'1.0' = '1' compares strings", Value::makeString("1.0"), Value::makeString("1"), false,
       true},
      {"NaN = NaN", Value::makeNumber(kNaN), Value::makeNumber(kNaN), false, true},
      {"0 = -0", Value::makeNumber(0), Value::makeNumber(-0.0), true, false},
      {"true() = false()", Value::makeBoolean(true), Value::makeBoolean(false), false, true},
      {"fragment = true(): a fragment is a set of one root", fragment, Value::makeBoolean(true),
       true, false},
      {"empty set = '' finds no member", set({}), Value::makeString(""), false, false},
      {"empty set != 0 finds no member", set({}), Value::makeNumber(0), false, false},
      {"none = ''", Value(), Value::makeString(""), true, false},
      {"false() = none", Value::makeBoolean(false), Value(), true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(equalValues(c.left, c.right), c.equal) << c.label;
    EXPECT_EQ(notEqualValues(c.left, c.right), c.notEqual) << c.label;
    EXPECT_EQ(equalValues(c.right, c.left), c.equal) << c.label << ", swapped";
    EXPECT_EQ(notEqualValues(c.right, c.left), c.notEqual) << c.label << ", swapped";
  }
}

TEST_F(ValueTest, RelationalComparisonsTestSomePairAndMirrorWhenSwapped) {
  struct Case {
    const char* label;
    Value left;
    TokenKind op;
    Value right;
    bool expected;
  };
  using enum TokenKind;
  Value five = set({a5});
  Value numbers = set({a5, a10, abc});
  const Case cases[] = {
      {"3 < S", Value::makeNumber(3), Less, five, true},
      {"3 > S", Value::makeNumber(3), Greater, five, false},
      {"'6' >= S", Value::makeString("6"), GreaterOrEqual, five, true},
      {"sets: some pair below", numbers, Less, set({b5}), false},
      {"sets: min below max", set({b5}), Less, numbers, true},
      {"sets: max above min", numbers, Greater, set({b5}), true},
      {"sets: equal extremes", five, GreaterOrEqual, set({b5}), true},
      {"set of NaN only", set({abc}), Less, Value::makeNumber(1e300), false},
      {"empty set > 0 as boolean", set({}), GreaterOrEqual, Value::makeBoolean(false), true},
      {"set > false", five, Greater, Value::makeBoolean(false), true},
      {"set < string", numbers, Less, Value::makeString(" 6 "), true},
      {"set compared with none", five, Greater, Value(), true},
      {"fragment > 6", fragment, Greater, Value::makeNumber(6), true},
      {"single node < fragment", Value::makeNode(a5), Less, fragment, true},
      {"NaN < 1", Value::makeNumber(kNaN), Less, Value::makeNumber(1), false},
      {"NaN > 1", Value::makeNumber(kNaN), Greater, Value::makeNumber(1), false},
      {"'10' < '9' as numbers", Value::makeString("10"), Less, Value::makeString("9"), false},
      {"true() > '0' as numbers", Value::makeBoolean(true), Greater, Value::makeString("0"), true},
      {"false() < 'x': NaN", Value::makeBoolean(false), Less, Value::makeString("x"), false},
      {"'-0' >= 0", Value::makeString("-0"), GreaterOrEqual, Value::makeNumber(0), true},
      {"'+1' > 0: NaN", Value::makeString("+1"), Greater, Value::makeNumber(0), false},
      {"empty set < number: no member", set({}), Less, Value::makeNumber(1), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compareValues(c.left, c.right, c.op), c.expected) << c.label;
    EXPECT_EQ(compareValues(c.right, c.left, mirror(c.op)), c.expected) << c.label << ", swapped";
  }
}

// The member pointers as small integers, for readable expectations.
std::string shapeOf(const NodeVector& nodes) {
  std::string text;
  for (Node* node : nodes)
    text += std::to_string(reinterpret_cast<std::uintptr_t>(node) / 8) + " ";
  return text;
}

Node* fake(std::uintptr_t n) {
  return reinterpret_cast<Node*>(n * 8);
}

TEST(NodeVectorTest, KeepsOneNodeInlineAndGrowsLikeAVector) {
  NodeVector nodes;
  EXPECT_EQ(nodes.capacity(), 1u);
  nodes.push_back(fake(1));
  EXPECT_EQ(nodes.capacity(), 1u) << "one node allocates nothing";
  nodes.push_back(fake(2));
  EXPECT_GE(nodes.capacity(), 8u);
  for (std::uintptr_t n = 3; n <= 20; ++n)
    nodes.push_back(fake(n));
  EXPECT_EQ(nodes.size(), 20u);
  EXPECT_EQ(nodes.front(), fake(1));
  EXPECT_EQ(nodes.back(), fake(20));

  struct Case {
    const char* label;
    std::function<void(NodeVector&)> change;
    const char* expected;
  };
  const Case cases[] = {
      {"erase the tail", [](NodeVector& v) { v.erase(v.begin() + 2, v.end()); }, "1 2 "},
      {"erase the middle", [](NodeVector& v) { v.erase(v.begin() + 1, v.begin() + 3); }, "1 4 "},
      {"insert at the end",
       [](NodeVector& v) {
         Node* more[] = {fake(7), fake(8)};
         v.insert(v.end(), more, more + 2);
       },
       "1 2 3 4 7 8 "},
      {"insert in front", [](NodeVector& v) { v.insert(v.begin(), v.begin() + 2, v.end()); },
       "3 4 1 2 3 4 "},
      {"insert its own nodes past its capacity",
       [](NodeVector& v) {
         for (int i = 0; i < 3; ++i)
           v.insert(v.end(), v.begin(), v.end());
       },
       "1 2 3 4 1 2 3 4 1 2 3 4 1 2 3 4 1 2 3 4 1 2 3 4 1 2 3 4 1 2 3 4 "},
      {"shrink", [](NodeVector& v) { v.resize(1); }, "1 "},
      {"clear and refill",
       [](NodeVector& v) {
         v.clear();
         v.push_back(fake(9));
       },
       "9 "},
  };
  for (const Case& c : cases) {
    NodeVector v{fake(1), fake(2), fake(3), fake(4)};
    c.change(v);
    EXPECT_EQ(shapeOf(v), c.expected) << c.label;
  }

  NodeVector one{fake(5)};
  NodeVector moved = std::move(one);
  EXPECT_EQ(shapeOf(moved), "5 ");
  EXPECT_TRUE(one.empty());  // NOLINT: a moved-from vector is empty
  NodeVector copy = nodes;
  EXPECT_EQ(copy, nodes);
  copy = moved;
  EXPECT_EQ(shapeOf(copy), "5 ");
}

TEST_F(ValueTest, CopiesShareTheTreeTheyKeepAlive) {
  std::weak_ptr<Node> watch;
  Value kept;
  {
    auto root = std::make_shared<RootNode>(nullptr);
    Node* child = appendElement(root.get(), "k", "text");
    watch = root;
    Value tree = Value::makeFragment(std::move(root));
    Value nodes = tree.nodeSetSharingTree(NodeVector{child});
    Value copy = nodes;
    kept = std::move(copy);
    EXPECT_EQ(stringOf(kept).view(), "text");
    EXPECT_EQ(kept.tree(), tree.tree());
  }
  EXPECT_FALSE(watch.expired()) << "the node-set holds the tree";
  Value number = Value::makeNumber(3);
  kept = number;  // drops the last holder
  EXPECT_TRUE(watch.expired());

  // Each kind survives a copy, a move and an assignment over another kind.
  const Value values[] = {Value(), Value::makeNumber(-0.5), Value::makeBoolean(true),
                          Value::makeString("abc"), set({a5, a10}), Value::makeNode(b5), fragment};
  for (const Value& value : values) {
    for (const Value& other : values) {
      Value target = other;
      target = value;
      EXPECT_EQ(target.kind(), value.kind());
      EXPECT_EQ(stringOf(target).view(), stringOf(value).view());
      Value moved = std::move(target);
      EXPECT_EQ(stringOf(moved).view(), stringOf(value).view());
      target = moved;  // a moved-from value takes a new one
      EXPECT_EQ(stringOf(target).view(), stringOf(value).view());
    }
  }
  Value converted = Value::makeString("12");
  toNumberValue(converted);
  EXPECT_EQ(converted.number(), 12);
  converted = set({a5});
  toBooleanValue(converted);
  EXPECT_TRUE(converted.boolean());
}

}  // namespace
}  // namespace ovra
