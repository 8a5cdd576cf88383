#pragma once
// One series of a run's preview as a chart: the points, the axes' titles and scales for its data type,
// and the chart drawn with Qt Charts.

#include <QList>
#include <QPointF>
#include <QString>

#include "engine/RunPreview.h"

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

struct PreviewPlot {
  int board = 0;
  int channel = 0;
  std::uint64_t events = 0;  // what the series counted: events, T1 bin contents, ITTR intensity rows
  QString title;             // "Channel 2: decay", ...
  QString xTitle;
  QString yTitle;
  bool logY = false;
  QList<QPointF> points;  // bins with counts only
  // Counts of the point's bin = y * countsPerY (T2 plots rates); 0 when y is no count (ITTR: intensity).
  double countsPerY = 1;
};

// The points of `series` of `preview`: T3 decay (ns from the sync pulse), T2 counts per second over the
// acquisition, T1 histogram (ns), ITTR mean intensity against the synced statistics serial.
PreviewPlot MakePreviewPlot(const kestrun::RunPreview& preview, const kestrun::PreviewSeries& series);
// "Board 1, channel 3", or "Channel 3" where the data carry no board.
QString SeriesName(const kestrun::RunPreview& preview, const kestrun::PreviewSeries& series);
// A new chart (owned by the caller) of `plot`.
QChart* MakeChart(const PreviewPlot& plot);
