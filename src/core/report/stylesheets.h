#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace verna::report {

// A style sheet of the CSS folder: its file and the name the user sees.
struct StyleSheet {
    QString path;
    QString title;
    friend bool operator==(const StyleSheet &, const StyleSheet &) = default;
};

// The name of a style from its file name and the first bytes of the file: a first line
// "/* NAZEV: Modrý */" gives "Modrý" (from character 10 up to its last two characters,
// trimmed); any other first line gives the file name. Bytes are read as UTF-8.
QString styleTitle(const QString &fileName, const QByteArray &head);

// Every "*.css" file of the folder (the extension in any case), with its name, in file-name
// order. An empty list for a folder that does not exist or holds none.
QList<StyleSheet> listStyleSheets(const QString &folder);

// The style sheets that come with the program: the installed data folder (share/verna/css
// beside the program, then the system's data folders), else the source tree's data/report-css
// for a run from the build tree. "" when none is found.
QString defaultCssFolder();

// The CSS folder setting: application "VERNA", group "Report", key "Css_slozka"; "neni" (also
// when missing) means no folder was chosen.
struct ReportSettings {
    static constexpr const char *kGroup = "Report";
    static constexpr const char *kCssFolderKey = "Css_slozka";
    static constexpr const char *kNoFolder = "neni";

    // The chosen folder, or defaultCssFolder() when none was chosen.
    static QString cssFolder();
    // Stores the folder of a chosen style sheet file.
    static void setCssFolder(const QString &folder);
};

} // namespace verna::report
