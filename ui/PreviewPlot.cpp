#include "ui/PreviewPlot.h"

#include <QChart>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QValueAxis>
#include <algorithm>

#include "engine/Codes.h"

using kestrun::PreviewSeries;
using kestrun::RunPreview;

QString SeriesName(const RunPreview& preview, const PreviewSeries& series) {
  const QString channel = QString::number(series.channel);
  if (preview.dataType() == kestrun::kDataTypeT2 || preview.dataType() == kestrun::kDataTypeT3) {
    return QStringLiteral("Channel ") + channel;
  }
  return QStringLiteral("Board %1, channel %2").arg(series.board).arg(channel);
}

PreviewPlot MakePreviewPlot(const RunPreview& preview, const PreviewSeries& series) {
  PreviewPlot plot;
  plot.board = series.board;
  plot.channel = series.channel;
  plot.events = series.total;
  const double binPs = static_cast<double>(series.width) * preview.resolutionPs();
  double xStep = binPs / 1000;  // ns per bin
  const QString name = SeriesName(preview, series);
  switch (preview.dataType()) {
    case kestrun::kDataTypeT1:
      plot.title = name + QStringLiteral(": histogram");
      plot.xTitle = QStringLiteral("Time (ns)");
      plot.yTitle = QStringLiteral("Counts");
      break;
    case kestrun::kDataTypeT2:
      plot.title = name + QStringLiteral(": counts over the acquisition");
      plot.xTitle = QStringLiteral("Time from the first photon (s)");
      plot.yTitle = QStringLiteral("Counts per second");
      xStep = binPs * 1e-12;
      plot.countsPerY = xStep;
      break;
    case kestrun::kDataTypeT3:
      plot.title = name + QStringLiteral(": decay");
      plot.xTitle = QStringLiteral("Time from the sync pulse (ns)");
      plot.yTitle = QStringLiteral("Counts");
      plot.logY = true;
      break;
    default:
      plot.title = name + QStringLiteral(": intensity");
      plot.xTitle = QStringLiteral("Synced statistics serial");
      plot.yTitle = QStringLiteral("Mean intensity");
      xStep = static_cast<double>(series.width);
      plot.countsPerY = 0;
      break;
  }
  // A rate needs a time unit; without a resolution the plot shows counts per bin.
  if (plot.countsPerY <= 0 && preview.dataType() == kestrun::kDataTypeT2) plot.countsPerY = 1;
  for (std::size_t i = 0; i < series.counts.size(); ++i) {
    const std::uint64_t n = series.counts[i];
    if (n == 0) continue;
    const double x = static_cast<double>(i) * xStep;
    if (series.intensities) {
      plot.points.append(QPointF(x + static_cast<double>(preview.origin()),
                                 static_cast<double>(series.sums[i]) / static_cast<double>(n)));
    } else {
      plot.points.append(QPointF(x, static_cast<double>(n) / plot.countsPerY));
    }
  }
  return plot;
}

QChart* MakeChart(const PreviewPlot& plot) {
  auto* chart = new QChart;
  chart->setTitle(plot.title);
  chart->legend()->hide();
  auto* line = new QLineSeries;
  line->append(plot.points);
  chart->addSeries(line);
  auto* x = new QValueAxis;
  x->setTitleText(plot.xTitle);
  x->setLabelFormat(QStringLiteral("%.4g"));
  chart->addAxis(x, Qt::AlignBottom);
  line->attachAxis(x);
  x->applyNiceNumbers();
  if (plot.logY) {
    auto* y = new QLogValueAxis;
    y->setBase(10);
    y->setLabelFormat(QStringLiteral("%g"));
    y->setTitleText(plot.yTitle);
    double top = 1;
    for (const QPointF& p : plot.points) top = std::max(top, p.y());
    y->setRange(0.5, top * 2);
    chart->addAxis(y, Qt::AlignLeft);
    line->attachAxis(y);
  } else {
    auto* y = new QValueAxis;
    y->setTitleText(plot.yTitle);
    y->setLabelFormat(QStringLiteral("%.4g"));
    chart->addAxis(y, Qt::AlignLeft);
    line->attachAxis(y);
    y->setMin(0);
    y->applyNiceNumbers();
  }
  return chart;
}
