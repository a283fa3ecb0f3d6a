#include "statements/importreaders.h"

#include "db/openfiles.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace verna::statements {

namespace {

// Windows-1250 from 0x80 up; U+FFFD marks the five bytes the code page leaves undefined.
constexpr char16_t kWindows1250[128] = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021, 0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

const QString kBadEncoding = QStringLiteral("Soubor není text v kódování UTF-8 ani Windows-1250.");

// Files are read in pieces of this size; nothing holds more of the file at once.
constexpr qint64 kChunkBytes = 1024 * 1024;

QString tooLarge(qint64 limit = kMaxImportBytes)
{
    return QStringLiteral("Soubor je větší než %1 MiB.").arg(limit / (1024 * 1024));
}

QString tooManyColumns(int line)
{
    return QStringLiteral("Řádek %1 má víc než %2 sloupců.").arg(line).arg(kMaxImportColumns);
}

// line 0: a shared string of a workbook, which belongs to no row.
QString tooLongCell(int line)
{
    if (line <= 0)
        return QStringLiteral("Text sdílený buňkami sešitu je delší než %1 znaků.").arg(kMaxImportCellChars);
    return QStringLiteral("Řádek %1: buňka je delší než %2 znaků.").arg(line).arg(kMaxImportCellChars);
}

bool holdsSomething(const SparseRow &row)
{
    for (const ImportCell &c : row.cells) {
        if (!QStringView(c.text).trimmed().isEmpty())
            return true;
    }
    return false;
}

// The rows in the shape the whole-file readers return: every cell up to the row's width.
struct RowCollector {
    ImportRows rows;

    Outcome add(const SparseRow &row)
    {
        ImportRow out{row.line, {}};
        out.cells.resize(row.width);
        for (const ImportCell &c : row.cells)
            out.cells[c.column] = c.text;
        rows << out;
        return Outcome::success();
    }
};

Result<ImportRows> collected(const Outcome &read, RowCollector &collector)
{
    if (!read)
        return Result<ImportRows>::failure(read.error);
    return {std::move(collector.rows), {}};
}

// --- CSV ---

// What the first reading of a CSV learns: whether it is UTF-8 and which separator it uses.
struct CsvScan {
    bool utf8 = true;
    QChar separator = QLatin1Char(',');
};

bool isUndefinedInWindows1250(unsigned char b)
{
    return b >= 0x80 && kWindows1250[b - 0x80] == 0xFFFD;
}

// The length of the bytes that end on a whole UTF-8 sequence; the rest waits for the next piece.
qsizetype wholeUtf8(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype k = 1; k <= std::min<qsizetype>(4, size); ++k) {
        const auto b = static_cast<unsigned char>(bytes[size - k]);
        if ((b & 0xC0) == 0x80)
            continue;
        const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return k < length ? size - k : size;
    }
    return size;
}

// Reads the device to its end in pieces of at most kChunkBytes, refusing more than limit
// whatever size the device reported; each piece goes to take (false stops).
template <typename Take>
Outcome readPieces(QIODevice &device, qint64 limit, Take take)
{
    QByteArray piece;
    qint64 total = 0;
    for (;;) {
        piece.resize(kChunkBytes);
        const qint64 n = device.read(piece.data(), kChunkBytes);
        if (n < 0)
            return Outcome::failure(QStringLiteral("Soubor nelze přečíst: %1").arg(device.errorString()));
        if (n == 0)
            return Outcome::success();
        total += n;
        if (total > limit)
            return Outcome::failure(tooLarge(limit));
        piece.resize(n);
        if (const Outcome o = take(QByteArrayView(piece), total == n); !o)
            return o;
    }
}

QByteArrayView withoutBom(QByteArrayView piece, bool first)
{
    return first && piece.startsWith("\xEF\xBB\xBF") ? piece.sliced(3) : piece;
}

// The first reading: the encoding is decided by the whole file, the separator by its first line
// that is not blank.
Result<CsvScan> scanCsv(QIODevice &device, qint64 limit)
{
    using Out = Result<CsvScan>;
    Out out;
    bool cp1250 = true;
    bool separatorKnown = false;
    bool quoted = false;
    bool lineHasText = false; // blank lines before the header tell nothing of the separator
    QByteArray carry;
    const Outcome read = readPieces(device, limit, [&](QByteArrayView piece, bool first) {
        piece = withoutBom(piece, first);
        // A NUL is no part of either encoding: UTF-16 text or a binary file.
        if (piece.contains('\0'))
            return Outcome::failure(kBadEncoding);
        for (qsizetype i = 0; i < piece.size() && !separatorKnown; ++i) {
            const char c = piece[i];
            if (c == '"') {
                quoted = !quoted;
                lineHasText = true;
            } else if (!quoted && (c == '\n' || c == '\r')) {
                separatorKnown = lineHasText;
            } else if (!quoted && c == ';') {
                out.value.separator = QLatin1Char(';');
                separatorKnown = true;
            } else if (c != ' ' && c != '\t') {
                lineHasText = true;
            }
        }
        for (qsizetype i = 0; i < piece.size() && cp1250; ++i)
            cp1250 = !isUndefinedInWindows1250(static_cast<unsigned char>(piece[i]));
        if (out.value.utf8) {
            carry.append(piece.data(), piece.size());
            const qsizetype whole = wholeUtf8(carry);
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = utf8.decode(QByteArrayView(carry).first(whole));
            out.value.utf8 = !utf8.hasError();
            carry.remove(0, whole);
        }
        if (!out.value.utf8 && !cp1250)
            return Outcome::failure(kBadEncoding);
        return Outcome::success();
    });
    if (!read)
        return Out::failure(read.error);
    if (out.value.utf8 && !carry.isEmpty())
        out.value.utf8 = false; // a sequence cut off by the end of the file
    if (!out.value.utf8 && !cp1250)
        return Out::failure(kBadEncoding);
    return out;
}

// Splits decoded text into rows as it comes, however it is cut into pieces.
class CsvParser
{
public:
    CsvParser(QChar separator, const ImportRowSink &sink)
        : m_separator(separator)
        , m_sink(sink)
    {
        m_row.line = 1;
    }

    Outcome feed(QStringView text);
    Outcome finish();

private:
    Outcome endField();
    Outcome endRow();

    const QChar m_separator;
    const ImportRowSink &m_sink;
    SparseRow m_row;
    QString m_field;
    int m_line = 1;
    int m_headerWidth = 0;       // 0 until the header is read
    bool m_quoted = false;       // inside a quoted field
    bool m_wasQuoted = false;    // the current field began with a quote
    bool m_quotePending = false; // a quote inside a quoted field: doubled or closing
    bool m_crInQuotes = false;   // the last quoted character was a CR
    bool m_skipLf = false;       // a row ended on CR: an LF next belongs to it
};

Outcome CsvParser::feed(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (m_skipLf) {
            m_skipLf = false;
            if (c == QLatin1Char('\n'))
                continue;
        }
        if (m_quotePending) {
            m_quotePending = false;
            if (c == QLatin1Char('"')) {
                m_field += c;
                continue;
            }
            m_quoted = false;
        }
        if (m_quoted) {
            if (c == QLatin1Char('"')) {
                m_quotePending = true;
                m_crInQuotes = false;
                continue;
            }
            if (c == QLatin1Char('\r') || (c == QLatin1Char('\n') && !m_crInQuotes))
                ++m_line;
            m_crInQuotes = c == QLatin1Char('\r');
        } else if (c == QLatin1Char('"') && !m_wasQuoted && QStringView(m_field).trimmed().isEmpty()) {
            m_field.truncate(0);
            m_quoted = m_wasQuoted = true;
            continue;
        } else if (c == m_separator) {
            if (const Outcome o = endField(); !o)
                return o;
            continue;
        } else if (c != QLatin1Char('\r') && c != QLatin1Char('\n') && c != QLatin1Char('"')) {
            // A run of plain characters is taken at once rather than one by one.
            qsizetype end = i + 1;
            while (end < text.size() && text[end] != m_separator && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n')
                   && text[end] != QLatin1Char('"'))
                ++end;
            if (m_field.size() + (end - i) > kMaxImportCellChars)
                return Outcome::failure(tooLongCell(m_row.line));
            m_field += text.sliced(i, end - i);
            i = end - 1;
            continue;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            m_skipLf = c == QLatin1Char('\r');
            if (const Outcome o = endField(); !o)
                return o;
            ++m_line;
            if (const Outcome o = endRow(); !o)
                return o;
            continue;
        }
        if (m_field.size() >= kMaxImportCellChars)
            return Outcome::failure(tooLongCell(m_row.line));
        m_field += c;
    }
    return Outcome::success();
}

Outcome CsvParser::endField()
{
    if (m_row.width >= kMaxImportColumns)
        return Outcome::failure(tooManyColumns(m_row.line));
    if (!m_field.isEmpty()) {
        m_row.cells.append(ImportCell{m_row.width, std::move(m_field)});
        m_field = QString();
    }
    ++m_row.width;
    m_wasQuoted = false;
    return Outcome::success();
}

Outcome CsvParser::endRow()
{
    if (holdsSomething(m_row)) {
        if (m_headerWidth == 0) {
            m_headerWidth = m_row.width;
        } else if (m_row.width != m_headerWidth) {
            return Outcome::failure(QStringLiteral("Řádek %1 má %2 sloupců, záhlaví %3; pole s oddělovačem (třeba s desetinnou čárkou) "
                                                   "patří do uvozovek.")
                                        .arg(m_row.line)
                                        .arg(m_row.width)
                                        .arg(m_headerWidth));
        }
        if (const Outcome o = m_sink(m_row); !o)
            return o;
    }
    m_row.cells.clear();
    m_row.width = 0;
    m_row.line = m_line;
    return Outcome::success();
}

Outcome CsvParser::finish()
{
    if (m_quotePending)
        m_quoted = m_quotePending = false;
    if (m_quoted)
        return Outcome::failure(QStringLiteral("Uvozovky otevřené na řádku %1 nejsou uzavřeny.").arg(m_row.line));
    if (!m_field.isEmpty() || m_row.width > 0) {
        if (const Outcome o = endField(); !o)
            return o;
        return endRow();
    }
    return Outcome::success();
}

// Reads the device twice: once to learn the encoding, once to split the decoded text.
Outcome streamCsv(QIODevice &device, qint64 limit, const ImportRowSink &sink)
{
    const Result<CsvScan> scan = scanCsv(device, limit);
    if (!scan.ok())
        return scan.outcome();
    if (!device.seek(0))
        return Outcome::failure(QStringLiteral("Soubor nelze přečíst: %1").arg(device.errorString()));
    CsvParser parser(scan.value.separator, sink);
    QByteArray carry;
    QString text;
    const Outcome read = readPieces(device, limit, [&](QByteArrayView piece, bool first) {
        piece = withoutBom(piece, first);
        if (scan.value.utf8) {
            carry.append(piece.data(), piece.size());
            const qsizetype whole = wholeUtf8(carry);
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            text = utf8.decode(QByteArrayView(carry).first(whole));
            carry.remove(0, whole);
            if (utf8.hasError())
                return Outcome::failure(kBadEncoding); // the file changed since the first reading
        } else {
            text.resize(piece.size());
            QChar *out = text.data();
            for (const char byte : piece) {
                const auto b = static_cast<unsigned char>(byte);
                const char16_t c = b < 0x80 ? char16_t(b) : kWindows1250[b - 0x80];
                if (c == 0xFFFD || b == 0)
                    return Outcome::failure(kBadEncoding);
                *out++ = QChar(c);
            }
        }
        return parser.feed(text);
    });
    if (!read)
        return read;
    if (!carry.isEmpty())
        return Outcome::failure(kBadEncoding);
    return parser.finish();
}

} // namespace

QString SparseRow::at(int column) const
{
    const auto it = std::lower_bound(cells.cbegin(), cells.cend(), column, [](const ImportCell &c, int col) { return c.column < col; });
    return it != cells.cend() && it->column == column ? it->text : QString();
}

Result<ImportRows> readCsv(const QByteArray &bytes)
{
    if (bytes.size() > kMaxImportBytes)
        return Result<ImportRows>::failure(tooLarge());
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    RowCollector collector;
    return collected(streamCsv(buffer, kMaxImportBytes, [&collector](const SparseRow &row) { return collector.add(row); }), collector);
}

// --- XLSX ---

namespace {

struct ZipCloser {
    void operator()(zip_t *z) const { zip_discard(z); }
};

const QString kBadXlsx = QStringLiteral("Soubor není čitelný sešit XLSX.");

// No element of a sheet nests deeper, and no text or tag of one runs longer without a "<".
constexpr int kMaxXmlDepth = 32;
constexpr qint64 kMaxXmlRun = 1024 * 1024;

// An archive member as it unpacks: at most kMaxImportBytes actually read, whatever size the
// archive declares, and no run of more than kMaxXmlRun bytes without a tag.
class MemberDevice : public QIODevice
{
public:
    MemberDevice(zip_file_t *file, const QString &name)
        : m_file(file)
        , m_name(name)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    ~MemberDevice() override { zip_fclose(m_file); }

    bool isSequential() const override { return true; }
    // Why reading stopped early; empty when the member was read whole.
    QString problem;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (!problem.isEmpty())
            return -1;
        const zip_int64_t n = zip_fread(m_file, data, static_cast<zip_uint64_t>(maxSize));
        if (n < 0) {
            problem = kBadXlsx;
            return -1;
        }
        m_total += n;
        if (m_total > kMaxImportBytes) {
            const int mib = static_cast<int>(kMaxImportBytes / (1024 * 1024));
            problem = m_name.contains(QLatin1String("worksheets/"))
                ? QStringLiteral("List sešitu je po rozbalení větší než %1 MiB.").arg(mib)
                : QStringLiteral("Část sešitu %1 je po rozbalení větší než %2 MiB.").arg(m_name, QString::number(mib));
            return -1;
        }
        for (const char *p = data, *end = data + n; p < end;) {
            const auto *tag = static_cast<const char *>(std::memchr(p, '<', static_cast<size_t>(end - p)));
            m_run += (tag ? tag : end) - p;
            if (m_run > kMaxXmlRun) {
                problem = kBadXlsx + QStringLiteral(" Obsahuje text delší než %1 MiB.").arg(kMaxXmlRun / (1024 * 1024));
                return -1;
            }
            if (!tag)
                break;
            m_run = 0;
            p = tag + 1;
        }
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    zip_file_t *m_file;
    const QString m_name;
    qint64 m_total = 0;
    qint64 m_run = 0;
};

// The XML of a member token by token. Open elements cost the reader memory, so nesting deeper
// than a workbook needs is refused; so is a cell's text beyond kMaxImportCellChars.
class XmlCursor
{
public:
    explicit XmlCursor(MemberDevice &device)
        : xml(&device)
        , m_device(device)
    {
    }

    QXmlStreamReader xml;

    bool next()
    {
        if (xml.atEnd())
            return false;
        const QXmlStreamReader::TokenType type = xml.readNext();
        // A workbook has no document type; one could declare entities that multiply the text.
        if (type == QXmlStreamReader::DTD)
            fail(kBadXlsx);
        else if (type == QXmlStreamReader::StartElement && ++m_depth > kMaxXmlDepth)
            fail(kBadXlsx + QStringLiteral(" Prvky jsou vnořeny hlouběji než do %1 úrovní.").arg(kMaxXmlDepth));
        else if (type == QXmlStreamReader::EndElement)
            --m_depth;
        return !xml.hasError();
    }
    int depth() const { return m_depth; }
    bool isText() const { return xml.isCharacters() || xml.isEntityReference(); }
    void fail(const QString &reason)
    {
        if (m_problem.isEmpty())
            m_problem = reason;
        xml.raiseError(reason);
    }
    // Why reading failed: the member's own reason first, then the XML's.
    Outcome outcome() const
    {
        if (!m_device.problem.isEmpty())
            return Outcome::failure(m_device.problem);
        if (!m_problem.isEmpty())
            return Outcome::failure(m_problem);
        return xml.hasError() ? Outcome::failure(kBadXlsx) : Outcome::success();
    }

private:
    MemberDevice &m_device;
    int m_depth = 0;
    QString m_problem;
};

// Opens an archive member for streaming; a missing one is no error when it is not required.
Result<std::unique_ptr<MemberDevice>> openMember(zip_t *archive, const QString &name, bool required)
{
    using Out = Result<std::unique_ptr<MemberDevice>>;
    const QByteArray path = name.toUtf8();
    zip_file_t *file = zip_fopen(archive, path.constData(), 0);
    if (file)
        return {std::make_unique<MemberDevice>(file, name), {}};
    switch (zip_error_code_zip(zip_get_error(archive))) {
    case ZIP_ER_NOENT:
        return required ? Out::failure(kBadXlsx + QStringLiteral(" Chybí v něm ") + name + QLatin1Char('.')) : Out{};
    case ZIP_ER_COMPNOTSUPP:
        return Out::failure(kBadXlsx + QStringLiteral(" Část %1 je uložena nepodporovanou kompresí.").arg(name));
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
        return Out::failure(kBadXlsx + QStringLiteral(" Část %1 je zašifrována.").arg(name));
    default:
        return Out::failure(kBadXlsx);
    }
}

// The text of the element the cursor is on: its <t> descendants without phonetic runs. The
// cursor ends on the element's end.
QString textOf(XmlCursor &cursor, int line)
{
    QString text;
    const int depth = cursor.depth();
    int phonetic = 0;
    int textDepth = 0; // the depth of the <t> being read, 0 outside one
    while (cursor.next()) {
        QXmlStreamReader &xml = cursor.xml;
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (xml.name() == QLatin1String("t") && phonetic == 0 && textDepth == 0)
                textDepth = cursor.depth();
        } else if (cursor.isText() && textDepth != 0) {
            if (text.size() + xml.text().size() > kMaxImportCellChars) {
                cursor.fail(tooLongCell(line));
                break;
            }
            text += xml.text();
        } else if (xml.isEndElement()) {
            if (cursor.depth() < textDepth)
                textDepth = 0;
            if (xml.name() == QLatin1String("rPh"))
                --phonetic;
            if (cursor.depth() < depth)
                break;
        }
    }
    return text;
}

// "BC12" → 54 (0-based column); -1 when it is no cell reference.
int columnOf(QStringView reference)
{
    int column = 0;
    int letters = 0;
    for (const QChar c : reference) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) {
            if (++letters > 3)
                return -1;
            column = column * 26 + (c.unicode() - 'A' + 1);
        } else {
            break;
        }
    }
    return letters == 0 ? -1 : column - 1;
}

// 54 → "BC".
QString columnName(int column)
{
    QString name;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        name.prepend(QLatin1Char(char('A' + (c - 1) % 26)));
    return name;
}

// Numbers as a sheet stores them may carry an exponent; amounts are read as plain decimals.
QString plainNumber(const QString &stored)
{
    if (!stored.contains(QLatin1Char('E')) && !stored.contains(QLatin1Char('e')))
        return stored;
    bool ok = false;
    const double value = stored.toDouble(&ok);
    if (!ok || std::abs(value) >= 1e15)
        return stored;
    QString text = QString::number(value, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// The first value of an attribute among the start elements named so, or empty at the end.
Result<QString> findAttribute(zip_t *archive, const QString &member, QLatin1String element, QLatin1String attribute,
                              const QString &match = {}, QLatin1String matchAttribute = {})
{
    using Out = Result<QString>;
    Result<std::unique_ptr<MemberDevice>> device = openMember(archive, member, false);
    if (!device.ok())
        return Out::failure(device.error);
    if (!device.value)
        return Out{};
    XmlCursor cursor(*device.value);
    while (cursor.next()) {
        if (!cursor.xml.isStartElement() || cursor.xml.name() != element)
            continue;
        const QXmlStreamAttributes attributes = cursor.xml.attributes();
        if (matchAttribute.size() != 0 && attributes.value(matchAttribute) != match)
            continue;
        for (const QXmlStreamAttribute &a : attributes) {
            if (a.name() == attribute)
                return {a.value().toString(), {}};
        }
    }
    if (const Outcome o = cursor.outcome(); !o)
        return Out::failure(o.error);
    return Out{};
}

Result<QString> firstSheetPath(zip_t *archive)
{
    using Out = Result<QString>;
    const QString fallback = QStringLiteral("xl/worksheets/sheet1.xml");
    // The sheet's relationship id is the attribute "id" in whichever namespace the workbook uses.
    const Result<QString> id = findAttribute(archive, QStringLiteral("xl/workbook.xml"), QLatin1String("sheet"), QLatin1String("id"));
    if (!id.ok())
        return Out::failure(id.error);
    if (id.value.isEmpty())
        return {fallback, {}};
    const Result<QString> target = findAttribute(archive, QStringLiteral("xl/_rels/workbook.xml.rels"), QLatin1String("Relationship"),
                                                 QLatin1String("Target"), id.value, QLatin1String("Id"));
    if (!target.ok())
        return Out::failure(target.error);
    if (target.value.isEmpty())
        return {fallback, {}};
    if (target.value.startsWith(QLatin1Char('/')))
        return {target.value.mid(1), {}};
    return {QStringLiteral("xl/") + target.value, {}};
}

// The shared strings of a workbook in one buffer, so a table of many short strings stays small.
class SharedStrings
{
public:
    Outcome read(zip_t *archive);
    qsizetype size() const { return static_cast<qsizetype>(m_ends.size()); }
    QString at(qsizetype i) const
    {
        const quint32 begin = i == 0 ? 0 : m_ends[i - 1];
        return QString::fromUtf8(m_text.constData() + begin, m_ends[i] - begin);
    }

private:
    QByteArray m_text;
    std::vector<quint32> m_ends;
};

Outcome SharedStrings::read(zip_t *archive)
{
    Result<std::unique_ptr<MemberDevice>> device = openMember(archive, QStringLiteral("xl/sharedStrings.xml"), false);
    if (!device.ok() || !device.value)
        return device.outcome();
    XmlCursor cursor(*device.value);
    while (cursor.next()) {
        if (cursor.xml.isStartElement() && cursor.xml.name() == QLatin1String("si")) {
            m_text += textOf(cursor, 0).toUtf8();
            m_ends.push_back(static_cast<quint32>(m_text.size()));
        }
    }
    return cursor.outcome();
}

// Puts a cell's value in its place among the row's cells, which stay in column order; a later
// cell of the same column overwrites an earlier one, as the whole-row reading always did.
void place(SparseRow &row, int column, QString value)
{
    row.width = std::max(row.width, column + 1);
    if (row.cells.isEmpty() || row.cells.back().column < column) {
        if (!value.isEmpty())
            row.cells.append(ImportCell{column, std::move(value)});
        return;
    }
    const auto it = std::lower_bound(row.cells.begin(), row.cells.end(), column, [](const ImportCell &c, int col) { return c.column < col; });
    if (it != row.cells.end() && it->column == column) {
        if (value.isEmpty())
            row.cells.erase(it);
        else
            it->text = std::move(value);
    } else if (!value.isEmpty()) {
        row.cells.insert(it, ImportCell{column, std::move(value)});
    }
}

// The cell's stored value; the cursor is on the <c> and ends on its end.
QString storedValue(XmlCursor &cursor, int line)
{
    QString stored;
    const int depth = cursor.depth();
    int valueDepth = 0;
    while (cursor.next()) {
        QXmlStreamReader &xml = cursor.xml;
        if (xml.isStartElement()) {
            if (valueDepth != 0)
                cursor.fail(kBadXlsx); // a value holds text only
            else if (xml.name() == QLatin1String("v")) {
                valueDepth = cursor.depth();
                stored.clear();
            }
        } else if (cursor.isText() && valueDepth != 0) {
            if (stored.size() + xml.text().size() > kMaxImportCellChars)
                cursor.fail(tooLongCell(line));
            else
                stored += xml.text();
        } else if (xml.isEndElement()) {
            if (cursor.depth() < valueDepth)
                valueDepth = 0;
            if (cursor.depth() < depth)
                break;
        }
    }
    return stored;
}

Outcome streamSheet(zip_t *archive, const ImportRowSink &sink)
{
    SharedStrings shared;
    if (const Outcome o = shared.read(archive); !o)
        return o;
    const Result<QString> sheetPath = firstSheetPath(archive);
    if (!sheetPath.ok())
        return sheetPath.outcome();
    Result<std::unique_ptr<MemberDevice>> device = openMember(archive, sheetPath.value, true);
    if (!device.ok())
        return device.outcome();
    XmlCursor cursor(*device.value);
    QXmlStreamReader &xml = cursor.xml;
    SparseRow row;
    int nextRow = 1;
    int nextColumn = 0;
    int headerWidth = -1; // the columns up to the header's last one that holds text; -1 before it
    while (cursor.next()) {
        if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
            bool ok = false;
            const int r = xml.attributes().value(QLatin1String("r")).toInt(&ok);
            row.line = ok && r > 0 ? r : nextRow;
            row.width = 0;
            row.cells.clear();
            nextRow = row.line + 1;
            nextColumn = 0;
        } else if (xml.isEndElement() && xml.name() == QLatin1String("row")) {
            if (!holdsSomething(row))
                continue;
            if (headerWidth < 0) {
                headerWidth = 0;
                for (const ImportCell &c : row.cells) {
                    if (!QStringView(c.text).trimmed().isEmpty())
                        headerWidth = c.column + 1;
                }
            } else {
                for (const ImportCell &c : row.cells) {
                    if (c.column >= headerWidth && !QStringView(c.text).trimmed().isEmpty())
                        return Outcome::failure(QStringLiteral("Řádek %1: buňka %2 leží za posledním sloupcem záhlaví.")
                                                    .arg(row.line)
                                                    .arg(columnName(c.column) + QString::number(row.line)));
                }
            }
            if (const Outcome o = sink(row); !o)
                return o;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QString type = attributes.value(QLatin1String("t")).toString();
            const QStringView reference = attributes.value(QLatin1String("r"));
            const int column = reference.isEmpty() ? nextColumn : columnOf(reference);
            if (column < 0)
                return Outcome::failure(kBadXlsx);
            if (column >= kMaxImportColumns)
                return Outcome::failure(tooManyColumns(row.line));
            nextColumn = column + 1;
            QString value;
            if (type == QLatin1String("inlineStr")) {
                value = textOf(cursor, row.line);
            } else {
                const QString stored = storedValue(cursor, row.line);
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const int index = stored.toInt(&ok);
                    if (!ok || index < 0 || index >= shared.size())
                        return Outcome::failure(kBadXlsx);
                    value = shared.at(index);
                } else if (type.isEmpty() || type == QLatin1String("n")) {
                    value = plainNumber(stored);
                } else {
                    value = stored;
                }
            }
            if (xml.hasError())
                break;
            place(row, column, std::move(value));
        }
    }
    return cursor.outcome();
}

Outcome streamXlsx(zip_t *archive, const ImportRowSink &sink)
{
    std::unique_ptr<zip_t, ZipCloser> owned(archive);
    return streamSheet(archive, sink);
}

} // namespace

Result<ImportRows> readXlsx(const QByteArray &bytes)
{
    using Out = Result<ImportRows>;
    if (bytes.size() > kMaxImportBytes)
        return Out::failure(tooLarge());
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return Out::failure(kBadXlsx);
    }
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return Out::failure(kBadXlsx);
    }
    RowCollector collector;
    return collected(streamXlsx(archive, [&collector](const SparseRow &row) { return collector.add(row); }), collector);
}

Result<ImportRows> readImportFile(const QString &path)
{
    RowCollector collector;
    return collected(readImportFile(path, [&collector](const SparseRow &row) { return collector.add(row); }), collector);
}

Outcome readImportFile(const QString &path, const ImportRowSink &sink)
{
    // A device or a pipe has no end to cap in advance; a FIFO would even block the opening.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Outcome::failure(QStringLiteral("%1 není obyčejný soubor.").arg(path));
    // Closing a second descriptor of the open database would drop this process's locks on it.
    if (db::isOpenDatabaseFile(path))
        return Outcome::failure(db::openDatabaseFileRefusal(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Outcome::failure(QStringLiteral("Soubor %1 nelze otevřít: %2").arg(path, file.errorString()));
    const bool xlsx = file.peek(4) == "PK\x03\x04";
    const qint64 limit = xlsx ? kMaxImportBytes : kMaxStreamedCsvBytes;
    if (file.size() > limit)
        return Outcome::failure(tooLarge(limit));
    if (!xlsx)
        return streamCsv(file, limit, sink);
    file.close();
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return Outcome::failure(kBadXlsx);
    return streamXlsx(archive, sink);
}

} // namespace verna::statements
