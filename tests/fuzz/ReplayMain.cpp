// Runs every file of the fuzz corpus (the folder given) through the reply fuzzer's function once.
// The function aborts on any fault it finds, so finishing is passing.

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_replay CORPUS-FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        std::fprintf(stderr, "fuzz_replay: no corpus in %s\n", argv[1]);
        return 1;
    }
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "fuzz_replay: cannot read %s\n", qPrintable(name));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    std::printf("fuzz_replay: %d inputs, no fault\n", int(names.size()));
    return 0;
}
