// The yardstick for bench/app_idle.sh and bench/startup.sh: the smallest Qt Widgets window
// with a Qt Charts chart, at the application's content size, doing nothing. Honours
// CELVIO_EXIT_AFTER_SHOW as celvio does.

#include "shell/exit_after_show.hpp"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QLineSeries>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    celvio::exitAfterFirstShowWhenAsked(app);
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
