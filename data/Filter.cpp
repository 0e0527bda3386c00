#include "data/Filter.h"

#include "data/Engine.h"

namespace data::detail {

QString quoteIdentifier(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

namespace {

struct Token {
    enum Kind { End, Name, QuotedName, Number, Text, Op, LParen, RParen };
    Kind kind = End;
    QString text;
    int pos = 0;
};

class Parser {
public:
    Parser(const QString &text, const QList<FieldDef> &fields, const QString &table)
        : m_text(text), m_fields(fields), m_table(table) {}

    FilterSql run()
    {
        advance();
        FilterSql out;
        out.sql = expression(out.params);
        if (m_tok.kind != Token::End)
            fail(QStringLiteral("unexpected '%1'").arg(m_tok.text));
        return out;
    }

private:
    struct Operand {
        bool isField = false;
        int field = -1;
        QString literal;       // token text
        Token::Kind literalKind = Token::End;
        bool isNull = false;
    };

    [[noreturn]] void fail(const QString &what) const
    {
        throw EngineError(QStringLiteral("Invalid filter expression for table '%1' at position %2: %3 (%4)")
                              .arg(m_table).arg(m_tok.pos + 1).arg(what, m_text));
    }

    static bool isNameStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
    static bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

    void advance()
    {
        const QString &s = m_text;
        while (m_pos < s.size() && s[m_pos].isSpace())
            ++m_pos;
        m_tok = Token{};
        m_tok.pos = m_pos;
        if (m_pos >= s.size())
            return;
        const QChar c = s[m_pos];
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            m_tok.kind = c == QLatin1Char('(') ? Token::LParen : Token::RParen;
            m_tok.text = c;
            ++m_pos;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            m_tok.kind = c == QLatin1Char('\'') ? Token::Text : Token::QuotedName;
            m_tok.text = quoted(c, c);
        } else if (c == QLatin1Char('[')) {
            m_tok.kind = Token::QuotedName;
            m_tok.text = quoted(QLatin1Char('['), QLatin1Char(']'));
        } else if (c.isDigit() || ((c == QLatin1Char('-') || c == QLatin1Char('.')) && m_pos + 1 < s.size()
                                   && (s[m_pos + 1].isDigit() || s[m_pos + 1] == QLatin1Char('.')))) {
            const int start = m_pos++;
            while (m_pos < s.size() && (s[m_pos].isDigit() || s[m_pos] == QLatin1Char('.')))
                ++m_pos;
            m_tok.kind = Token::Number;
            m_tok.text = s.mid(start, m_pos - start);
        } else if (isNameStart(c)) {
            const int start = m_pos;
            while (m_pos < s.size() && isNameChar(s[m_pos]))
                ++m_pos;
            m_tok.kind = Token::Name;
            m_tok.text = s.mid(start, m_pos - start);
        } else if (c == QLatin1Char('=') || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('!')) {
            const int start = m_pos++;
            if (m_pos < s.size() && (s[m_pos] == QLatin1Char('=') || (c == QLatin1Char('<') && s[m_pos] == QLatin1Char('>'))))
                ++m_pos;
            m_tok.kind = Token::Op;
            m_tok.text = s.mid(start, m_pos - start);
            if (m_tok.text == QLatin1String("!"))
                fail(QStringLiteral("unknown operator '!'"));
        } else {
            m_tok.text = c;
            fail(QStringLiteral("unexpected character '%1'").arg(c));
        }
    }

    QString quoted(QChar open, QChar close)
    {
        const QString &s = m_text;
        QString out;
        ++m_pos;
        while (true) {
            if (m_pos >= s.size())
                fail(QStringLiteral("unterminated %1").arg(open));
            const QChar c = s[m_pos++];
            if (c == close) {
                if (close != QLatin1Char(']') && m_pos < s.size() && s[m_pos] == close) {
                    out += c;
                    ++m_pos;
                    continue;
                }
                return out;
            }
            out += c;
        }
    }

    bool keyword(const char *word) const
    {
        return m_tok.kind == Token::Name && m_tok.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    QString expression(QList<Value> &params)
    {
        QString sql = term(params);
        while (keyword("or")) {
            advance();
            sql = QLatin1Char('(') + sql + QLatin1String(" OR ") + term(params) + QLatin1Char(')');
        }
        return sql;
    }

    QString term(QList<Value> &params)
    {
        QString sql = factor(params);
        while (keyword("and")) {
            advance();
            sql = QLatin1Char('(') + sql + QLatin1String(" AND ") + factor(params) + QLatin1Char(')');
        }
        return sql;
    }

    QString factor(QList<Value> &params)
    {
        if (keyword("not")) {
            advance();
            return QLatin1String("(NOT ") + factor(params) + QLatin1Char(')');
        }
        if (m_tok.kind == Token::LParen) {
            advance();
            const QString inner = expression(params);
            if (m_tok.kind != Token::RParen)
                fail(QStringLiteral("')' expected"));
            advance();
            return inner;
        }
        return comparison(params);
    }

    Operand operand()
    {
        Operand o;
        if (m_tok.kind == Token::Name && !keyword("null") && !keyword("true") && !keyword("false")) {
            if (keyword("and") || keyword("or") || keyword("not") || keyword("is"))
                fail(QStringLiteral("field or value expected"));
            o.isField = true;
            o.field = fieldIndex(m_tok.text);
        } else if (m_tok.kind == Token::QuotedName) {
            o.isField = true;
            o.field = fieldIndex(m_tok.text);
        } else if (m_tok.kind == Token::Number || m_tok.kind == Token::Text) {
            o.literal = m_tok.text;
            o.literalKind = m_tok.kind;
        } else if (keyword("null")) {
            o.isNull = true;
        } else if (keyword("true") || keyword("false")) {
            o.literal = keyword("true") ? QStringLiteral("1") : QStringLiteral("0");
            o.literalKind = Token::Number;
        } else {
            fail(m_tok.kind == Token::End ? QStringLiteral("unexpected end") : QStringLiteral("field or value expected"));
        }
        advance();
        return o;
    }

    int fieldIndex(const QString &name) const
    {
        for (int i = 0; i < m_fields.size(); ++i)
            if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        throw EngineError(QStringLiteral("Invalid filter expression for table '%1': unknown field '%2' (%3)")
                              .arg(m_table, name, m_text));
    }

    QString column(int field) const
    {
        QString c = quoteIdentifier(m_fields[field].name);
        if (isTextType(m_fields[field].type))
            c += QLatin1String(" COLLATE BINARY");
        return c;
    }

    QString bindLiteral(const Operand &lit, const Operand &other, QList<Value> &params) const
    {
        if (lit.isNull)
            return QStringLiteral("NULL");
        if (other.isField) {
            params.append(toStored(m_fields[other.field], QVariant(lit.literal)));
        } else if (lit.literalKind == Token::Number) {
            qint64 i = 0;
            double d = 0;
            if (parseInteger(lit.literal, &i))
                params.append(Value::integer(i));
            else if (parseDouble(lit.literal, &d))
                params.append(Value::real(d));
            else
                fail(QStringLiteral("bad number '%1'").arg(lit.literal));
        } else {
            params.append(Value::text(lit.literal.toUtf8()));
        }
        return QStringLiteral("?");
    }

    QString comparison(QList<Value> &params)
    {
        const Operand left = operand();
        if (keyword("is")) {
            advance();
            bool negate = false;
            if (keyword("not")) {
                negate = true;
                advance();
            }
            if (!keyword("null"))
                fail(QStringLiteral("NULL expected"));
            advance();
            if (!left.isField)
                fail(QStringLiteral("field expected before IS"));
            return QLatin1Char('(') + quoteIdentifier(m_fields[left.field].name)
                   + (negate ? QLatin1String(" IS NOT NULL)") : QLatin1String(" IS NULL)"));
        }
        if (m_tok.kind != Token::Op)
            fail(QStringLiteral("comparison operator expected"));
        QString op = m_tok.text;
        if (op == QLatin1String("!="))
            op = QStringLiteral("<>");
        advance();
        const Operand right = operand();
        if (left.isNull || right.isNull) {
            // "Field = NULL" means the field is empty; other comparisons with NULL are never true.
            const Operand &f = left.isNull ? right : left;
            if (!f.isField || (op != QLatin1String("=") && op != QLatin1String("<>")))
                fail(QStringLiteral("NULL can only be compared with a field by = or <>"));
            return QLatin1Char('(') + quoteIdentifier(m_fields[f.field].name)
                   + (op == QLatin1String("=") ? QLatin1String(" IS NULL)") : QLatin1String(" IS NOT NULL)"));
        }
        const QString l = left.isField ? column(left.field) : bindLiteral(left, right, params);
        const QString r = right.isField ? column(right.field) : bindLiteral(right, left, params);
        return QLatin1Char('(') + l + QLatin1Char(' ') + op + QLatin1Char(' ') + r + QLatin1Char(')');
    }

    const QString &m_text;
    const QList<FieldDef> &m_fields;
    const QString &m_table;
    int m_pos = 0;
    Token m_tok;
};

} // namespace

FilterSql parseFilter(const QString &text, const QList<FieldDef> &fields, const QString &tableName)
{
    return Parser(text, fields, tableName).run();
}

} // namespace data::detail
