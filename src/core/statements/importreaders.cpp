#include "statements/importreaders.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <zip.h>

#include <cmath>
#include <memory>

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

Result<QString> decodeText(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    // A NUL is no part of either encoding: UTF-16 text or a binary file.
    if (bytes.contains('\0'))
        return Result<QString>::failure(kBadEncoding);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return {text, {}};
    text.clear();
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        const char16_t c = b < 0x80 ? char16_t(b) : kWindows1250[b - 0x80];
        if (c == 0xFFFD)
            return Result<QString>::failure(kBadEncoding);
        text += QChar(c);
    }
    return {text, {}};
}

bool isBlank(const QStringList &cells)
{
    for (const QString &c : cells) {
        if (!c.trimmed().isEmpty())
            return false;
    }
    return true;
}

QChar separatorOf(const QString &text)
{
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))
            break;
        else if (!quoted && c == QLatin1Char(';'))
            return c;
    }
    return QLatin1Char(',');
}

QString tooManyColumns(int line)
{
    return QStringLiteral("Řádek %1 má víc než %2 sloupců.").arg(line).arg(kMaxImportColumns);
}

} // namespace

Result<ImportRows> readCsv(const QByteArray &bytes)
{
    using Out = Result<ImportRows>;
    if (bytes.size() > kMaxImportBytes)
        return Out::failure(QStringLiteral("Soubor je větší než %1 MiB.").arg(kMaxImportBytes / (1024 * 1024)));
    const Result<QString> decoded = decodeText(bytes);
    if (!decoded.ok())
        return Out::failure(decoded.error);
    const QString &text = decoded.value;
    const QChar separator = separatorOf(text);

    Out out;
    ImportRow row{1, {}};
    QString field;
    int line = 1;
    bool quoted = false;     // inside a quoted field
    bool wasQuoted = false;  // the current field began with a quote
    const auto endField = [&]() -> bool {
        row.cells << field;
        field.clear();
        wasQuoted = false;
        return row.cells.size() <= kMaxImportColumns;
    };
    const auto endRow = [&]() {
        if (!isBlank(row.cells))
            out.value << row;
        row = ImportRow{line, {}};
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
                continue;
            }
            if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && !(i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))))
                ++line;
            field += c;
            continue;
        }
        if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            field.clear();
            quoted = wasQuoted = true;
        } else if (c == separator) {
            if (!endField())
                return Out::failure(tooManyColumns(row.line));
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (!endField())
                return Out::failure(tooManyColumns(row.line));
            ++line;
            endRow();
        } else {
            field += c;
        }
    }
    if (quoted)
        return Out::failure(QStringLiteral("Uvozovky otevřené na řádku %1 nejsou uzavřeny.").arg(row.line));
    if (!field.isEmpty() || !row.cells.isEmpty()) {
        if (!endField())
            return Out::failure(tooManyColumns(row.line));
        endRow();
    }
    return out;
}

namespace {

struct ZipCloser {
    void operator()(zip_t *z) const { zip_discard(z); }
};

const QString kBadXlsx = QStringLiteral("Soubor není čitelný sešit XLSX.");

// An archive member, at most kMaxImportBytes however large the archive claims it is.
Result<QByteArray> member(zip_t *archive, const QString &name, bool required)
{
    using Out = Result<QByteArray>;
    const QByteArray path = name.toUtf8();
    zip_file_t *file = zip_fopen(archive, path.constData(), 0);
    if (!file)
        return required ? Out::failure(kBadXlsx + QStringLiteral(" Chybí v něm ") + name + QLatin1Char('.')) : Out{};
    Out out;
    char buffer[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            zip_fclose(file);
            return Out::failure(kBadXlsx);
        }
        if (n == 0)
            break;
        if (out.value.size() + n > kMaxImportBytes) {
            zip_fclose(file);
            return Out::failure(QStringLiteral("List sešitu je po rozbalení větší než %1 MiB.").arg(kMaxImportBytes / (1024 * 1024)));
        }
        out.value.append(buffer, static_cast<qsizetype>(n));
    }
    zip_fclose(file);
    return out;
}

// The text of an element and its descendants' <t>, without phonetic runs; the reader ends on
// the element's end.
QString textOf(QXmlStreamReader &xml)
{
    QString text;
    const QString endName = xml.name().toString();
    int phonetic = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("rPh"))
                ++phonetic;
            else if (xml.name() == QLatin1String("t") && phonetic == 0)
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("rPh"))
                --phonetic;
            else if (xml.name() == endName)
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

QString firstSheetPath(zip_t *archive)
{
    const QString fallback = QStringLiteral("xl/worksheets/sheet1.xml");
    const Result<QByteArray> workbook = member(archive, QStringLiteral("xl/workbook.xml"), false);
    const Result<QByteArray> rels = member(archive, QStringLiteral("xl/_rels/workbook.xml.rels"), false);
    if (workbook.value.isEmpty() || rels.value.isEmpty())
        return fallback;
    QString id;
    QXmlStreamReader wb(workbook.value);
    while (!wb.atEnd() && id.isEmpty()) {
        if (wb.readNext() == QXmlStreamReader::StartElement && wb.name() == QLatin1String("sheet")) {
            for (const QXmlStreamAttribute &a : wb.attributes()) {
                if (a.name() == QLatin1String("id"))
                    id = a.value().toString();
            }
        }
    }
    QXmlStreamReader rs(rels.value);
    while (!rs.atEnd()) {
        if (rs.readNext() == QXmlStreamReader::StartElement && rs.name() == QLatin1String("Relationship")
            && rs.attributes().value(QLatin1String("Id")) == id) {
            QString target = rs.attributes().value(QLatin1String("Target")).toString();
            if (target.startsWith(QLatin1Char('/')))
                return target.mid(1);
            return QStringLiteral("xl/") + target;
        }
    }
    return fallback;
}

} // namespace

Result<ImportRows> readXlsx(const QByteArray &bytes)
{
    using Out = Result<ImportRows>;
    if (bytes.size() > kMaxImportBytes)
        return Out::failure(QStringLiteral("Soubor je větší než %1 MiB.").arg(kMaxImportBytes / (1024 * 1024)));
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return Out::failure(kBadXlsx);
    }
    std::unique_ptr<zip_t, ZipCloser> archive(zip_open_from_source(source, ZIP_RDONLY, &error));
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return Out::failure(kBadXlsx);
    }

    QStringList shared;
    const Result<QByteArray> strings = member(archive.get(), QStringLiteral("xl/sharedStrings.xml"), false);
    if (!strings.ok())
        return Out::failure(strings.error);
    QXmlStreamReader ss(strings.value);
    while (!strings.value.isEmpty() && !ss.atEnd()) {
        if (ss.readNext() == QXmlStreamReader::StartElement && ss.name() == QLatin1String("si"))
            shared << textOf(ss);
    }
    if (ss.hasError())
        return Out::failure(kBadXlsx);

    const Result<QByteArray> sheet = member(archive.get(), firstSheetPath(archive.get()), true);
    if (!sheet.ok())
        return Out::failure(sheet.error);
    Out out;
    QXmlStreamReader xml(sheet.value);
    ImportRow row;
    int nextRow = 1;
    int nextColumn = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
            bool ok = false;
            const int r = xml.attributes().value(QLatin1String("r")).toInt(&ok);
            row = ImportRow{ok && r > 0 ? r : nextRow, {}};
            nextRow = row.line + 1;
            nextColumn = 0;
        } else if (xml.isEndElement() && xml.name() == QLatin1String("row")) {
            if (!isBlank(row.cells))
                out.value << row;
        } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QString type = attributes.value(QLatin1String("t")).toString();
            const QStringView reference = attributes.value(QLatin1String("r"));
            const int column = reference.isEmpty() ? nextColumn : columnOf(reference);
            if (column < 0)
                return Out::failure(kBadXlsx);
            if (column >= kMaxImportColumns)
                return Out::failure(tooManyColumns(row.line));
            nextColumn = column + 1;
            QString value;
            if (type == QLatin1String("inlineStr")) {
                value = textOf(xml);
            } else {
                QString stored;
                while (!xml.atEnd()) {
                    xml.readNext();
                    if (xml.isStartElement() && xml.name() == QLatin1String("v"))
                        stored = xml.readElementText();
                    else if (xml.isStartElement())
                        xml.skipCurrentElement();
                    else if (xml.isEndElement() && xml.name() == QLatin1String("c"))
                        break;
                }
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const int index = stored.toInt(&ok);
                    if (!ok || index < 0 || index >= shared.size())
                        return Out::failure(kBadXlsx);
                    value = shared.at(index);
                } else if (type.isEmpty() || type == QLatin1String("n")) {
                    value = plainNumber(stored);
                } else {
                    value = stored;
                }
            }
            while (row.cells.size() < column)
                row.cells << QString();
            if (row.cells.size() == column)
                row.cells << value;
            else
                row.cells[column] = value;
        }
    }
    if (xml.hasError())
        return Out::failure(kBadXlsx);
    return out;
}

Result<ImportRows> readImportFile(const QString &path)
{
    using Out = Result<ImportRows>;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Out::failure(QStringLiteral("Soubor %1 nelze otevřít: %2").arg(path, file.errorString()));
    if (file.size() > kMaxImportBytes)
        return Out::failure(QStringLiteral("Soubor je větší než %1 MiB.").arg(kMaxImportBytes / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    return bytes.startsWith("PK\x03\x04") ? readXlsx(bytes) : readCsv(bytes);
}

} // namespace verna::statements
