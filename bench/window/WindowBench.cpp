// Opening files in the whole program, offscreen in an 800 x 600 window: from
// the open command until the rewritten text is painted. The hostile cases
// open a megabyte with a rule file whose chains grow without end.
#include "Encoding.h"
#include "FakeUiSeam.h"
#include "FindBar.h"
#include "JestSettingsDlg.h"
#include "JestpadHarness.h"
#include "ProseGenerator.h"
#include "Resource.h"

#include <QApplication>
#include <QFile>
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr qsizetype kLimit = 1048575;
constexpr qsizetype kMatches = 5000;
// "Jestpad" in CP932, a word the prose never has.
const QByteArray kWord = "Jestpad";

struct CWindowFixture {
    QTemporaryDir dir;
    CFakeUiSeam seam;
    CJestpadHarness h;
    QString prose;
    QString oneLine;
    QString oneRun;   // a megabyte without a single break opportunity
    QString fiveThousand;  // prose holding kWord 5,000 times
    QString utf8Prose;
    QString withX;      // the one line with an "x" after every "。"
    QString chainRules; // b x y, b y x: an endless chain at the first x
    QString longRules;  // b x, then 「あいうえお。」 x 100: 1,200 bytes per x

    CWindowFixture()
    {
        PrepareTestSettings();
        QByteArray text = QByteArray::fromStdString(prose::Generate(kLimit));
        text.truncate(kLimit);
        prose = Write(QStringLiteral("prose.txt"), text);
        text.replace("\r\n", "");
        // Fill the line up to the limit again with more of the same prose.
        while (text.size() < kLimit)
            text += text.left(kLimit - text.size());
        oneLine = Write(QStringLiteral("line.txt"), text);
        QByteArray run(kLimit, 'x');
        for (qsizetype i = 0; i < run.size(); ++i)
            run[i] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[i % 64];
        oneRun = Write(QStringLiteral("run.txt"), run);
        // The word after every third "。" until it is there 5,000 times.
        const QByteArray stop = "\x81\x42";
        QList<QByteArray> sentences = QByteArray::fromStdString(prose::Generate(kLimit)).split(stop[1]);
        QByteArray marked;
        qsizetype words = 0;
        for (qsizetype i = 0; i < sentences.size(); ++i) {
            marked += sentences[i];
            if (i + 1 < sentences.size())
                marked += stop[1];
            if (sentences[i].endsWith(stop[0]) && i % 3 == 0 && words < kMatches) {
                marked += kWord;
                ++words;
            }
        }
        marked.truncate(kLimit);
        fiveThousand = Write(QStringLiteral("find.txt"), marked);
        // The same prose in UTF-8, cut to the limit at a character's start.
        std::string utf8;
        if (!DecodeToUtf8(prose::Generate(kLimit), CEncoding{EncodingId::Cp932}, utf8))
            qFatal("cannot convert the prose to UTF-8");
        std::size_t cut = kLimit;
        while (!IsCharStart(utf8, cut, EncodingId::Utf8))
            --cut;
        utf8Prose = Write(QStringLiteral("utf8.txt"), QByteArray(utf8.data(), static_cast<qsizetype>(cut)));
        text.replace("\x81\x42", "\x81\x42x");
        text.truncate(kLimit);
        withX = Write(QStringLiteral("x.txt"), text);
        chainRules = Write(QStringLiteral("chain.rules"), "b x y\r\nb y x\r\n");
        longRules = Write(QStringLiteral("long.rules"),
                          "b x " + QByteArray("\x82\xa0\x82\xa2\x82\xa4\x82\xa6\x82\xa8\x81\x42").repeated(100) + "\r\n");
        h = StartJestpad();
        h.frame()->resize(800, 600);
        h.frame()->show();
        Show();
    }

    QString Write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

    // Lets the window lay out and paint what it shows now.
    void Show()
    {
        QCoreApplication::processEvents();
        h.frame()->repaint();
        QCoreApplication::processEvents();
    }

    void Open(const QString& path)
    {
        seam.openAnswers.push_back(path);
        h.frame()->RouteCommand(ID_FILE_OPEN);
        Show();
    }
};

// Made on first use, ended before the application object (a window must not
// outlive it).
std::unique_ptr<CWindowFixture> g_pFixture;

CWindowFixture& Fixture()
{
    if (!g_pFixture)
        g_pFixture = std::make_unique<CWindowFixture>();
    return *g_pFixture;
}

// Opening a file until its rewritten text is shown; a new second of the clock
// each time, so that every open draws afresh.
void BM_Open(benchmark::State& state, QString CWindowFixture::*file)
{
    CWindowFixture& f = Fixture();
    for (auto _ : state) {
        f.seam.now++;
        f.Open(f.*file);
    }
    state.SetBytesProcessed(state.iterations() * kLimit);
}
BENCHMARK_CAPTURE(BM_Open, Prose, &CWindowFixture::prose)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(BM_Open, OneLine, &CWindowFixture::oneLine)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(BM_Open, OneRun, &CWindowFixture::oneRun)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Finding a word with 5,000 matches in a megabyte: the text read and folded
// afresh, every match found and highlighted, the first selected and painted.
void BM_FindAll(benchmark::State& state)
{
    CWindowFixture& f = Fixture();
    f.Open(f.fiveThousand);
    CFindBar* bar = f.h.frame()->GetFindBar();
    bar->Open();
    for (auto _ : state) {
        bar->GetEdit()->clear();
        bar->GetMatchCase()->toggle();  // a new folding: the text is folded again
        bar->GetEdit()->setText(QString::fromLatin1(kWord));
        Q_EMIT bar->GetEdit()->textEdited(bar->GetEdit()->text());
        f.Show();
    }
    if (bar->GetMatches().size() != kMatches)
        state.SkipWithError("the word is not found 5,000 times");
    bar->Close();
}
BENCHMARK(BM_FindAll)->Unit(benchmark::kMillisecond)->UseRealTime();
// A megabyte of UTF-8: detected, rewritten as UTF-8 and decoded for display.
BENCHMARK_CAPTURE(BM_Open, Utf8Prose, &CWindowFixture::utf8Prose)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Opening the megabyte with a hostile rule file at level 4 until shown.
void BM_OpenHostile(benchmark::State& state, QString CWindowFixture::*rules)
{
    CWindowFixture& f = Fixture();
    CJestpadDoc* doc = f.h.doc();
    if (!doc->m_ruleSet.LoadRuleFile(CByteString(QFile::encodeName(f.*rules).toStdString())))
        qFatal("cannot load the rule file");
    doc->m_options.m_nLevel = 4;
    for (auto _ : state) {
        f.seam.now++;
        f.Open(f.withX);
    }
    state.counters["shown"] = static_cast<double>(doc->GetJestpadView()->GetWindowText().size());
    doc->m_ruleSet = CRuleSet();
    doc->m_options.m_nLevel = 2;
    f.seam.messages.clear();
}
BENCHMARK_CAPTURE(BM_OpenHostile, Chain, &CWindowFixture::chainRules)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK_CAPTURE(BM_OpenHostile, LongInsert, &CWindowFixture::longRules)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The megabyte of prose at level 4 (about 20,000 rewrites), opened until
// shown, with 書き換え箇所を強調 off (0) and on (1): the marks cost the
// difference.
void BM_OpenMarked(benchmark::State& state)
{
    CWindowFixture& f = Fixture();
    CJestpadView* view = f.h.view();
    f.h.doc()->m_options.m_nLevel = 4;
    view->ShowEdits(state.range(0) != 0);
    for (auto _ : state) {
        f.seam.now++;
        f.Open(f.prose);
    }
    state.counters["marks"] = static_cast<double>(view->GetMarks().size());
    view->ShowEdits(false);
    f.h.doc()->m_options.m_nLevel = 2;
}
BENCHMARK(BM_OpenMarked)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Scrolling the one-line megabyte to its end and back to the top.
void BM_ScrollOneLine(benchmark::State& state)
{
    CWindowFixture& f = Fixture();
    f.Open(f.oneLine);
    QScrollBar* bar = f.h.view()->verticalScrollBar();
    bool atEnd = false;
    for (auto _ : state) {
        atEnd = !atEnd;
        bar->setValue(atEnd ? bar->maximum() : 0);
        f.Show();
    }
}
BENCHMARK(BM_ScrollOneLine)->Unit(benchmark::kMillisecond)->UseRealTime();

// Resizing the window with the one-line megabyte in it: the line wraps anew.
void BM_ResizeOneLine(benchmark::State& state)
{
    CWindowFixture& f = Fixture();
    f.Open(f.oneLine);
    bool small = false;
    for (auto _ : state) {
        small = !small;
        f.h.frame()->resize(small ? QSize(640, 480) : QSize(800, 600));
        f.Show();
    }
    f.h.frame()->resize(800, 600);
}
BENCHMARK(BM_ResizeOneLine)->Unit(benchmark::kMillisecond)->UseRealTime();

// The largest rule file the limit accepts, 8,388,608 lines "r KEY " of
// distinct four-byte keys, loaded through 詳細設定 with a short Shift-JIS (0)
// or UTF-8 (1) text open, until the text rewritten with it is shown.
void BM_LoadLargestRules(benchmark::State& state)
{
    CWindowFixture& f = Fixture();
    static const QString rules = [&f] {
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        QByteArray out;
        for (std::uint32_t i = 0; out.size() < qsizetype{64} << 20; ++i) {
            const char line[] = {'r', ' ', alphabet[i >> 18 & 63], alphabet[i >> 12 & 63], alphabet[i >> 6 & 63],
                                 alphabet[i & 63], ' ', '\n'};
            out.append(line, sizeof line);
        }
        return f.Write(QStringLiteral("largest.rules"), out);
    }();
    f.Open(f.Write(QStringLiteral("short.txt"), state.range(0) == 0 ? QByteArray("\x83\x65\x83\x4C\x83\x58\x83\x67\x81\x42")
                                                                       : QByteArray("テキスト。")));
    CJestpadDoc* doc = f.h.doc();
    f.seam.doModal = [](QDialog& dialog) {
        static_cast<CJestSettingsDlg&>(dialog).m_strRuleFile = QFile::encodeName(rules).toStdString();
        return 1;
    };
    for (auto _ : state) {
        state.PauseTiming();
        doc->m_ruleSet = CRuleSet();
        state.ResumeTiming();
        f.h.frame()->RouteCommand(ID_SETTINGS_JEST);
        f.Show();
        if (doc->m_ruleSet.GetGroupCount() != 8388608) state.SkipWithError("the rule file did not load");
    }
    f.seam.doModal = nullptr;
    doc->m_ruleSet = CRuleSet();
    f.seam.messages.clear();
}
BENCHMARK(BM_LoadLargestRules)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_pFixture)
        g_pFixture->h.Exit();
    g_pFixture.reset();
    return 0;
}
