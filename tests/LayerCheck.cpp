// The include check: reads the floors' table (layers.txt) and every #include of every source file
// under the folders it names, and prints "file:line: ..." for each include that reaches a floor above
// its own, the other front end or any folder its own may not use. Exits 1 when it found one (or a
// folder holding sources that the table does not name), 0 when the tree keeps its floors, 2 on bad
// arguments. Qt Core only, so that it builds wherever the programs do.
//
//   LayerCheck TABLE ROOT
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTextStream>
#include <cstdio>

namespace {

struct Table {
    QStringList folders;                 // in the table's order
    QMap<QString, QSet<QString>> mayUse; // folder -> the folders it may include besides itself
};

bool ReadTable(const QString &path, Table &table, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int colon = line.indexOf(QLatin1Char(':'));
        const QString folder = line.left(colon).trimmed();
        if (colon < 1 || folder.contains(QLatin1Char(' ')) || table.mayUse.contains(folder)) {
            error = QStringLiteral("%1:%2: expected \"folder: folders it may use\" once per folder")
                        .arg(path).arg(lineNo);
            return false;
        }
        table.folders << folder;
        QSet<QString> &uses = table.mayUse[folder];
        for (const QString &used : line.mid(colon + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            uses.insert(used);
    }
    for (auto it = table.mayUse.cbegin(); it != table.mayUse.cend(); ++it) {
        for (const QString &used : it.value()) {
            if (!table.mayUse.contains(used)) {
                error = QStringLiteral("%1: %2 may use %3, which is no folder of the table")
                            .arg(path, it.key(), used);
                return false;
            }
        }
    }
    return true;
}

// Whether `from` reaches `to` through the folders each may use.
bool Reaches(const Table &table, const QString &from, const QString &to)
{
    QSet<QString> seen;
    QStringList todo{from};
    while (!todo.isEmpty()) {
        const QString folder = todo.takeLast();
        if (seen.contains(folder))
            continue;
        seen.insert(folder);
        for (const QString &used : table.mayUse.value(folder)) {
            if (used == to)
                return true;
            todo << used;
        }
    }
    return false;
}

bool IsSource(const QString &name)
{
    static const QStringList suffixes{QStringLiteral(".cpp"), QStringLiteral(".h"),
                                      QStringLiteral(".hpp"), QStringLiteral(".cc")};
    for (const QString &suffix : suffixes) {
        if (name.endsWith(suffix))
            return true;
    }
    return false;
}

QStringList SourcesUnder(const QString &dir)
{
    QStringList files;
    QDirIterator it(QFileInfo(dir).absoluteFilePath(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (IsSource(file))
            files << file;
    }
    files.sort();
    return files;
}

// The folder of this tree an include names, or "" for one from outside it (Qt, the system). A quoted
// include is looked for beside the including file first, as the compiler does, then at the top.
QString FolderOf(const QDir &root, const QString &includingFile, const QString &name, bool quoted,
                 const Table &table)
{
    QString path = name;
    if (quoted) {
        const QFileInfo beside(QFileInfo(includingFile).dir(), name);
        if (name.startsWith(QLatin1String("./")) || name.startsWith(QLatin1String("../")) || beside.exists())
            path = root.relativeFilePath(beside.absoluteFilePath());
    }
    path = QDir::cleanPath(path);
    const QString first = path.section(QLatin1Char('/'), 0, 0);
    if (!path.contains(QLatin1Char('/')) || !table.mayUse.contains(first))
        return QString();
    return first;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: LayerCheck TABLE ROOT\n";
        return 2;
    }
    Table table;
    QString error;
    if (!ReadTable(args.at(1), table, error)) {
        err << error << '\n';
        return 2;
    }
    const QDir root(QFileInfo(args.at(2)).absoluteFilePath());
    if (!root.exists()) {
        err << args.at(2) << ": no such folder\n";
        return 2;
    }

    int broken = 0;
    // A folder the table does not name would escape the check: say so. Build trees and hidden
    // folders hold generated code, not the project's.
    for (const QString &dir : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (table.mayUse.contains(dir) || QFileInfo::exists(root.filePath(dir + QStringLiteral("/CMakeCache.txt"))))
            continue;
        if (!SourcesUnder(root.filePath(dir)).isEmpty()) {
            out << dir << "/: holds source files but is no floor of " << args.at(1) << '\n';
            ++broken;
        }
    }

    static const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])"));
    int files = 0;
    for (const QString &folder : table.folders) {
        for (const QString &file : SourcesUnder(root.filePath(folder))) {
            ++files;
            QFile source(file);
            if (!source.open(QIODevice::ReadOnly)) {
                out << root.relativeFilePath(file) << ": cannot be read: " << source.errorString() << '\n';
                ++broken;
                continue;
            }
            int lineNo = 0;
            while (!source.atEnd()) {
                ++lineNo;
                const QString line = QString::fromUtf8(source.readLine());
                const QRegularExpressionMatch m = include.match(line);
                if (!m.hasMatch())
                    continue;
                const QString name = m.captured(2).trimmed();
                const QString target =
                    FolderOf(root, file, name, m.captured(1) == QLatin1String("\""), table);
                if (target.isEmpty() || target == folder || table.mayUse.value(folder).contains(target))
                    continue;
                QString why;
                if (Reaches(table, target, folder))
                    why = QStringLiteral("a floor above %1/").arg(folder);
                else if (!Reaches(table, folder, target))
                    why = QStringLiteral("the other front end");
                else
                    why = QStringLiteral("a folder %1/ may use only through another").arg(folder);
                const QStringList allowed(table.mayUse.value(folder).begin(), table.mayUse.value(folder).end());
                QStringList sortedAllowed = allowed;
                sortedAllowed.sort();
                out << root.relativeFilePath(file) << ':' << lineNo << ": #include " << m.captured(1) << name
                    << (m.captured(1) == QLatin1String("\"") ? "\"" : ">") << " reaches " << target << "/, "
                    << why << " (" << folder << "/ may use: "
                    << (sortedAllowed.isEmpty() ? QStringLiteral("its own folder only") : sortedAllowed.join(QStringLiteral(", ")))
                    << ")\n";
                ++broken;
            }
        }
    }
    if (broken) {
        out << broken << " place(s) break the floors of " << args.at(1) << '\n';
        return 1;
    }
    out << files << " files keep the floors of " << args.at(1) << '\n';
    return 0;
}
