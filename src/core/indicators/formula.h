#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace verna::indicators {

// An indicator formula parsed into an expression tree: item references "[code]", non-negative
// whole and decimal constants ("3", "0.5"), + - * / ^, parentheses and blanks between them.
// Precedence from tight to loose: unary + and -, then ^ (left-associative), then * and /,
// then binary + and -.
//
// A subtree of whole constants is integral: it is computed in 64-bit integers (1/3 is 0,
// overflow has no value). Anything that touches an item or a decimal constant is computed in
// double precision.
class Formula
{
public:
    enum class Error {
        None,
        Empty,
        Character, // a character outside the formula alphabet
        Bracket,   // "[" without digits and "]", a "]" outside a reference, a reference left open
        Comment,   // "--" or "/*": the rest of the statement would become a comment
        Syntax,
        TooDeep,
        ConstantOverflow, // a constant beyond 64 bits
    };

    struct Node {
        enum class Kind : unsigned char { Constant, Item, Negate, Add, Subtract, Multiply, Divide, Power };
        Kind kind = Kind::Constant;
        bool integral = true;
        int left = -1;
        int right = -1;
        qint64 constant = 0; // Constant: its digits without the point ...
        int decimals = 0;    // ... and how many of them follow the point
        QString code; // Item: the code's digits without leading zeros

        // A decimal constant is its digits divided by a power of ten: both exact doubles, so
        // the quotient is the correctly rounded value on every backend.
        double value() const;
        qint64 scale() const;
    };

    // Deepest tree the backends are asked to evaluate (SQLite refuses expressions past 1000).
    static constexpr int kMaxHeight = 400;
    // Deepest nesting of calls that SQLite's parser takes with room to spare (a run of binary
    // operators that associates to the left is one call; see nesting()).
    static constexpr int kMaxNesting = 12;
    // Operands per call of a run of binary operators.
    static constexpr int kMaxChain = 100;

    // Digits of a constant that a double holds exactly.
    static constexpr int kMaxDecimalDigits = 15;

    // Parses a formula as stored or typed, and after computed items were expanded (which puts
    // blanks around them): the same language.
    static Formula parse(const QString &text) { return parse(text, true); }
    static Formula parseExpanded(const QString &text) { return parse(text, true); }

    // The check every formula passes before it reaches SQL.
    static bool isValidText(const QString &text) { return parse(text).isValid(); }

    bool isValid() const { return m_error == Error::None; }
    Error error() const { return m_error; }
    const std::vector<Node> &nodes() const { return m_nodes; }
    const Node &node(int index) const { return m_nodes[static_cast<size_t>(index)]; }
    int root() const { return m_root; }
    bool isIntegral() const { return isValid() && node(m_root).integral; }
    int height() const { return m_height; }
    // Calls nested in each other when the formula is written as SQL: a unary minus is one, a run
    // of binary operators along the left operands one per kMaxChain operators.
    int nesting() const { return m_nesting; }

    // Codes of the referenced items, each once, in order of first reference.
    QStringList itemCodes() const;

private:
    static Formula parse(const QString &text, bool allowBlanks);

    std::vector<Node> m_nodes;
    int m_root = -1;
    int m_height = 0;
    int m_nesting = 0;
    Error m_error = Error::Empty;

    friend class FormulaParser;
};

} // namespace verna::indicators
