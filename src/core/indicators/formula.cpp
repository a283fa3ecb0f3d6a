#include "indicators/formula.h"

#include <limits>

namespace verna::indicators {

namespace {

struct Token {
    enum class Type { Number, Item, Plus, Minus, Star, Slash, Caret, Open, Close, End };
    Type type = Type::End;
    qint64 value = 0;
    int decimals = 0;
    QString code;
};

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isFormulaCharacter(QChar c)
{
    return isDigit(c) || QStringLiteral("[]+-*/^()").contains(c);
}

QString withoutLeadingZeros(const QString &digits)
{
    int i = 0;
    while (i + 1 < digits.size() && digits.at(i) == QLatin1Char('0'))
        ++i;
    return digits.mid(i);
}

} // namespace

class FormulaParser
{
public:
    explicit FormulaParser(Formula &out)
        : m_out(out)
    {
    }

    void run(const QString &text, bool allowBlanks)
    {
        if (!tokenize(text, allowBlanks))
            return;
        if (m_tokens.size() == 1) {
            fail(Formula::Error::Empty);
            return;
        }
        const int root = expression(0);
        if (root < 0)
            return;
        if (peek() != Token::Type::End) {
            fail(Formula::Error::Syntax);
            return;
        }
        m_out.m_root = root;
        m_out.m_height = m_heights[static_cast<size_t>(root)];
        m_out.m_nesting = nesting(root);
        if (m_out.m_nesting > Formula::kMaxNesting) {
            fail(Formula::Error::TooDeep);
            return;
        }
        m_out.m_error = Formula::Error::None;
    }

private:
    bool tokenize(const QString &text, bool allowBlanks)
    {
        const int n = text.size();
        int i = 0;
        while (i < n) {
            const QChar c = text.at(i);
            if (c == QLatin1Char(' ') && allowBlanks) {
                ++i;
                continue;
            }
            if (!isFormulaCharacter(c))
                return fail(Formula::Error::Character);
            if (isDigit(c)) {
                int j = i;
                while (j < n && isDigit(text.at(j)))
                    ++j;
                QString digits = text.mid(i, j - i);
                int decimals = 0;
                // A point belongs to a constant only between two digits.
                if (j + 1 < n && text.at(j) == QLatin1Char('.') && isDigit(text.at(j + 1))) {
                    int k = j + 1;
                    while (k < n && isDigit(text.at(k)))
                        ++k;
                    digits += text.mid(j + 1, k - j - 1);
                    decimals = k - j - 1;
                    j = k;
                }
                bool ok = false;
                digits = withoutLeadingZeros(digits);
                const qint64 value = digits.toLongLong(&ok);
                if (!ok || (decimals > 0 && (digits.size() > Formula::kMaxDecimalDigits || decimals > Formula::kMaxDecimalDigits)))
                    return fail(Formula::Error::ConstantOverflow);
                m_tokens.push_back({Token::Type::Number, value, decimals, {}});
                i = j;
                continue;
            }
            if (c == QLatin1Char('[')) {
                int j = i + 1;
                while (j < n && isDigit(text.at(j)))
                    ++j;
                if (j < n && !isFormulaCharacter(text.at(j)) && !(allowBlanks && text.at(j) == QLatin1Char(' ')))
                    return fail(Formula::Error::Character);
                if (j == i + 1 || j >= n || text.at(j) != QLatin1Char(']'))
                    return fail(Formula::Error::Bracket);
                m_tokens.push_back({Token::Type::Item, 0, 0, withoutLeadingZeros(text.mid(i + 1, j - i - 1))});
                i = j + 1;
                continue;
            }
            if (c == QLatin1Char(']'))
                return fail(Formula::Error::Bracket);
            const QChar next = i + 1 < n ? text.at(i + 1) : QChar();
            if ((c == QLatin1Char('-') && next == QLatin1Char('-')) || (c == QLatin1Char('/') && next == QLatin1Char('*')))
                return fail(Formula::Error::Comment);
            Token::Type type = Token::Type::Plus;
            switch (c.unicode()) {
            case '+': type = Token::Type::Plus; break;
            case '-': type = Token::Type::Minus; break;
            case '*': type = Token::Type::Star; break;
            case '/': type = Token::Type::Slash; break;
            case '^': type = Token::Type::Caret; break;
            case '(': type = Token::Type::Open; break;
            default: type = Token::Type::Close; break;
            }
            m_tokens.push_back({type, 0, 0, {}});
            ++i;
        }
        m_tokens.push_back({Token::Type::End, 0, 0, {}});
        return true;
    }

    bool fail(Formula::Error error)
    {
        if (m_out.m_error == Formula::Error::Empty || m_out.m_error == Formula::Error::None)
            m_out.m_error = error;
        return false;
    }

    Token::Type peek() const { return m_tokens[m_pos].type; }

    int add(Formula::Node node, int height)
    {
        if (height > Formula::kMaxHeight) {
            fail(Formula::Error::TooDeep);
            return -1;
        }
        m_out.m_nodes.push_back(std::move(node));
        m_heights.push_back(height);
        return static_cast<int>(m_out.m_nodes.size()) - 1;
    }

    int height(int index) const { return m_heights[static_cast<size_t>(index)]; }

    bool isBinary(int index) const
    {
        const auto kind = m_out.m_nodes[static_cast<size_t>(index)].kind;
        return kind != Formula::Node::Kind::Constant && kind != Formula::Node::Kind::Item && kind != Formula::Node::Kind::Negate;
    }

    int nesting(int index) const
    {
        const Formula::Node &n = m_out.m_nodes[static_cast<size_t>(index)];
        if (n.kind == Formula::Node::Kind::Constant || n.kind == Formula::Node::Kind::Item)
            return 0;
        if (n.kind == Formula::Node::Kind::Negate)
            return 1 + nesting(n.left);
        // A run along the left operands is one call (or one per kMaxChain operators).
        int operators = 0;
        int inner = 0;
        int at = index;
        while (isBinary(at)) {
            const Formula::Node &b = m_out.m_nodes[static_cast<size_t>(at)];
            ++operators;
            inner = std::max(inner, nesting(b.right));
            at = b.left;
        }
        inner = std::max(inner, nesting(at));
        return inner + (operators + Formula::kMaxChain - 1) / Formula::kMaxChain;
    }
    bool integral(int index) const { return m_out.m_nodes[static_cast<size_t>(index)].integral; }

    int binary(Formula::Node::Kind kind, int left, int right)
    {
        Formula::Node node;
        node.kind = kind;
        node.left = left;
        node.right = right;
        node.integral = kind != Formula::Node::Kind::Power && integral(left) && integral(right);
        return add(std::move(node), 1 + std::max(height(left), height(right)));
    }

    int expression(int depth)
    {
        int left = term(depth);
        while (left >= 0 && (peek() == Token::Type::Plus || peek() == Token::Type::Minus)) {
            const auto kind = peek() == Token::Type::Plus ? Formula::Node::Kind::Add : Formula::Node::Kind::Subtract;
            ++m_pos;
            const int right = term(depth);
            left = right < 0 ? -1 : binary(kind, left, right);
        }
        return left;
    }

    int term(int depth)
    {
        int left = power(depth);
        while (left >= 0 && (peek() == Token::Type::Star || peek() == Token::Type::Slash)) {
            const auto kind = peek() == Token::Type::Star ? Formula::Node::Kind::Multiply : Formula::Node::Kind::Divide;
            ++m_pos;
            const int right = power(depth);
            left = right < 0 ? -1 : binary(kind, left, right);
        }
        return left;
    }

    int power(int depth)
    {
        int left = unary(depth);
        while (left >= 0 && peek() == Token::Type::Caret) {
            ++m_pos;
            const int right = unary(depth);
            left = right < 0 ? -1 : binary(Formula::Node::Kind::Power, left, right);
        }
        return left;
    }

    int unary(int depth)
    {
        if (depth > Formula::kMaxHeight) {
            fail(Formula::Error::TooDeep);
            return -1;
        }
        if (peek() == Token::Type::Plus) {
            ++m_pos;
            return unary(depth + 1);
        }
        if (peek() == Token::Type::Minus) {
            ++m_pos;
            const int operand = unary(depth + 1);
            if (operand < 0)
                return -1;
            Formula::Node node;
            node.kind = Formula::Node::Kind::Negate;
            node.left = operand;
            node.integral = integral(operand);
            return add(std::move(node), 1 + height(operand));
        }
        return primary(depth);
    }

    int primary(int depth)
    {
        const Token &token = m_tokens[m_pos];
        switch (token.type) {
        case Token::Type::Number: {
            ++m_pos;
            Formula::Node node;
            node.kind = Formula::Node::Kind::Constant;
            node.constant = token.value;
            node.decimals = token.decimals;
            node.integral = token.decimals == 0;
            return add(std::move(node), 1);
        }
        case Token::Type::Item: {
            ++m_pos;
            Formula::Node node;
            node.kind = Formula::Node::Kind::Item;
            node.integral = false;
            node.code = token.code;
            return add(std::move(node), 1);
        }
        case Token::Type::Open: {
            ++m_pos;
            const int inner = expression(depth + 1);
            if (inner < 0)
                return -1;
            if (peek() != Token::Type::Close) {
                fail(Formula::Error::Syntax);
                return -1;
            }
            ++m_pos;
            return inner;
        }
        default:
            fail(Formula::Error::Syntax);
            return -1;
        }
    }

    Formula &m_out;
    std::vector<Token> m_tokens;
    std::vector<int> m_heights;
    size_t m_pos = 0;
};

Formula Formula::parse(const QString &text, bool allowBlanks)
{
    Formula formula;
    FormulaParser(formula).run(text, allowBlanks);
    if (!formula.isValid()) {
        formula.m_nodes.clear();
        formula.m_root = -1;
        formula.m_height = 0;
    }
    return formula;
}

qint64 Formula::Node::scale() const
{
    qint64 s = 1;
    for (int i = 0; i < decimals; ++i)
        s *= 10;
    return s;
}

double Formula::Node::value() const
{
    return decimals == 0 ? static_cast<double>(constant) : static_cast<double>(constant) / static_cast<double>(scale());
}

QStringList Formula::itemCodes() const
{
    QStringList codes;
    for (const Node &n : m_nodes) {
        if (n.kind == Node::Kind::Item && !codes.contains(n.code))
            codes << n.code;
    }
    return codes;
}

} // namespace verna::indicators
