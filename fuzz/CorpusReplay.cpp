// Outside the fuzz build each target is linked with this main instead of
// libFuzzer: it runs every seed in the folder it is given once through
// LLVMFuzzerTestOneInput, so that the ordinary test run checks the targets'
// invariants (a broken one aborts) on the seeds.

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const QFileInfoList seeds = QDir(QString::fromLocal8Bit(argv[1])).entryInfoList(QDir::Files, QDir::Name);
    LLVMFuzzerInitialize(&argc, &argv);
    for (const QFileInfo &seed : seeds) {
        QFile file(seed.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = file.readAll();
        std::printf("%s\n", qPrintable(seed.fileName()));
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    }
    // No seeds at all is a mistake in the test's set-up, not a pass.
    return seeds.isEmpty() ? 2 : 0;
}
