// The yardstick for bench/app_idle.sh and bench/startup.sh: the smallest Qt Widgets window
// with a Qt Charts chart, at the application's content size, doing nothing. Honours
// CELVIO_EXIT_AFTER_SHOW as celvio does.

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QLineSeries>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

class ExitAfterShow : public QObject {
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched->isWindowType() && static_cast<QWindow*>(watched)->isExposed()) {
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, qApp, [] {
                std::printf("%lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ExitAfterShow exitAfterShow;
    if (qEnvironmentVariableIsSet("CELVIO_EXIT_AFTER_SHOW")) app.installEventFilter(&exitAfterShow);
    QChartView view;  // owns its chart
    QChart* chart = view.chart();
    auto* series = new QLineSeries(chart);
    series->append(0, 80);
    series->append(1, 82);
    chart->addSeries(series);
    chart->createDefaultAxes();
    chart->setTheme(QChart::ChartThemeDark);
    view.setFixedSize(300, 553);
    view.setWindowTitle("Minimal");
    view.show();
    return QApplication::exec();
}
