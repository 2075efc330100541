// Cost of painting a button face against the cost of mouse moves that change
// nothing: the moves must stay far cheaper than one paint, because the main
// window gets a stream of them while the pointer crosses a button.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include "controls/ButtonPainter.h"
#include "controls/chameleonButton.h"

namespace {

constexpr int kMoves = 10000;

struct Host {
    QWidget window;
    chameleonButton* button = new chameleonButton(&window);

    Host()
    {
        PropertyBag bag;
        bag.write("BTYPE", chameleonButton::Gradient);
        bag.write("COLTYPE", chameleonButton::SchemeCustom);
        bag.write("BCOL", 0xFFFF80);
        bag.write("FCOL", 0);
        bag.write("TX", "Search folder for duplicate images");
        QFont font("Arial");
        font.setPointSizeF(9.75);
        font.setBold(true);
        bag.write("FONT", font);
        button->ReadProperties(bag);
        button->resize(120, 33);
        window.resize(200, 100);
        window.show();
    }
};

void BM_PaintGradientForced(benchmark::State& state)
{
    Host host;
    for (auto _ : state) {
        host.button->PaintButton(chameleonButton::StateNormal, true);
        benchmark::DoNotOptimize(host.button->faceImage().constBits());
    }
}
BENCHMARK(BM_PaintGradientForced);

void BM_PainterOnlyGradient(benchmark::State& state)
{
    ButtonFace face;
    face.width = 120;
    face.height = 33;
    face.buttonType = 3;
    face.caption = QStringLiteral("Search folder for duplicate images");
    face.font = QFont(QStringLiteral("Arial"), 10, QFont::Bold);
    face.tones = DeriveSchemeColors(2, 0xFFFF80, 0);
    QImage image;
    for (auto _ : state) {
        ButtonPainter(face, image).paint(0);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PainterOnlyGradient);

// 10,000 pointer moves inside a released button: each one raises MouseMove
// but paints nothing.
void BM_MouseMoveBurstNoChange(benchmark::State& state)
{
    Host host;
    int raised = 0;
    QObject::connect(host.button, &chameleonButton::MouseMove,
        [&raised](short&, short&, float&, float&) { ++raised; });
    for (auto _ : state) {
        for (int i = 0; i < kMoves; ++i) {
            const QPointF pos(5 + i % 100, 5 + i % 20);
            QMouseEvent move(
                QEvent::MouseMove, pos, pos, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(host.button, &move);
        }
    }
    benchmark::DoNotOptimize(raised);
    state.SetItemsProcessed(state.iterations() * kMoves);
}
BENCHMARK(BM_MouseMoveBurstNoChange)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
