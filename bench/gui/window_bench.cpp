// Times a scan and a generation driven through the real main window, for a
// comparison with kavo-cli on the same tree. Message boxes are answered at once.
//
//   window_bench FOLDER [PER_PAGE]

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <ctime>

#include "app/frm_kavo.h"
#include "platform/message_box.h"

namespace {

/// CPU seconds of this process, which a busy machine disturbs less than the wall clock.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_bench FOLDER [PER_PAGE]\n");
        return 2;
    }
    kavo::SetMessageBoxHook([](const kavo::MessageBoxCall& call) {
        std::fprintf(stderr, "message: %s\n", call.Text.toUtf8().constData());
    });
    kavo::frmKavo window;
    window.show();
    window.txtFolder->setText(QString::fromLocal8Bit(argv[1]));
    if (argc > 2)
        window.txtCount->setText(QString::fromLocal8Bit(argv[2]));

    QElapsedTimer clock;
    clock.start();
    double cpu = CpuSeconds();
    window.cmdOk->click();  // scan
    const double scan = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double scanCpu = CpuSeconds() - cpu;
    clock.restart();
    cpu = CpuSeconds();
    window.cmdOk->click();  // generation
    const double generation = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const double generationCpu = CpuSeconds() - cpu;
    std::printf("scan %.3f s (cpu %.3f), generation %.3f s (cpu %.3f), %d pictures on %d pages\n", scan, scanCpu,
                generation, generationCpu, window.model().LastGeneration().Counters.WrittenImageCount,
                window.model().LastGeneration().Counters.PageCount);
    return 0;
}
