// Fuzz target for the RTF reader and writer.
//
// Built with clang and -fsanitize=fuzzer (cmake -DQLY_FUZZ=ON) it is a
// libFuzzer target. Built with QLY_FUZZ_STANDALONE it is a plain program
// that runs every file named on its command line (or found in a folder
// named there) through the same checks, so the corpus can be replayed
// without clang.
//
// Each input is read into a document; the document is written as RTF; that
// RTF must read back completely to the same paragraphs, and writing it again
// must give the same bytes. Crashes, hangs and sanitizer reports are found
// by the tools around it.

#include "widgets/richtext/Rtf.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QStringList paragraphs(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        out << b.text();
    return out;
}

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "rtf_fuzz: %s\n", what);
        std::abort();
    }
}

QGuiApplication* application() {
    static int argc = 1;
    static char name[] = "rtf_fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    application();
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument doc;
    richtext::readRtf(input, &doc);
    const QByteArray written = richtext::writeRtf(&doc);
    check(richtext::looksLikeRtf(written), "written RTF does not look like RTF");

    QTextDocument back;
    const richtext::RtfReadResult result = richtext::readRtf(written, &back);
    check(result.isRtf && result.complete, "written RTF does not read back completely");
    if (paragraphs(back) != paragraphs(doc))
        std::fprintf(stderr, "written:\n%s\n", written.constData());
    check(paragraphs(back) == paragraphs(doc), "written RTF reads back to other text");
    const QByteArray again = richtext::writeRtf(&back);
    if (again != written)
        std::fprintf(stderr, "first:\n%s\nsecond:\n%s\n", written.constData(), again.constData());
    check(again == written, "writing the read-back RTF gives other bytes");
    return 0;
}

#ifdef QLY_FUZZ_STANDALONE

#include <QDir>
#include <QFile>
#include <QFileInfo>

int main(int argc, char** argv) {
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo info(QString::fromLocal8Bit(argv[i]));
        if (info.isDir()) {
            for (const QFileInfo& entry :
                 QDir(info.filePath()).entryInfoList(QDir::Files, QDir::Name))
                files << entry.filePath();
        } else {
            files << info.filePath();
        }
    }
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "rtf_fuzz: cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size()));
        // Every cut of the input must be read and written as soundly.
        for (qsizetype n = 0; n < bytes.size(); n += 1 + bytes.size() / 512)
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(n));
    }
    std::printf("rtf_fuzz: %lld inputs passed\n", static_cast<long long>(files.size()));
    return 0;
}

#endif
