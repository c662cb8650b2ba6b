#pragma once
// The market dialog's chart surface on QCustomPlot: a pie (slices with a
// radial gradient, a start rotation and data labels), stacked bars with
// categories and a legend, a pyramid (layers from the largest value at the
// base), bubbles (x, y, size and label), a cluster of one-point series with
// markers, labels and wheel zoom, an area over labelled points and a line of
// levels with a marker colour per point. Points can be hit by the mouse: the
// chart tells of the point under a moving mouse and of a button released on
// one. It keeps what it draws so the dialog's tests can read it, and exports
// the picture as BMP or PNG. UI thread only.
#include <QRectF>
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QCustomPlot;
class QCPAbstractPlottable;
class QCPItemText;

class MarketChart : public QWidget {
    Q_OBJECT
public:
    struct Slice {
        QString name;
        double value = 0;
    };
    struct BarSeries {
        QString name;
        std::vector<double> values; // one per category
    };
    // A point of the bubble, cluster and level charts. `tag` is the caller's
    // (a security index for the cluster).
    struct Point {
        double x = 0, y = 0, size = 0;
        QString label;
        QColor colour;
        int tag = -1;
    };
    enum class Kind { None, Pie, StackedBars, Pyramid, Bubbles, Cluster, Area, Levels };

    explicit MarketChart(QWidget* parent = nullptr);
    ~MarketChart() override;

    // Removes every series and the title.
    void clear();
    // Zero and negative slices are left out; rotation in degrees.
    void setPie(const QString& title, const std::vector<Slice>& slices, int rotation);
    void setStackedBars(const QString& title, const std::vector<QString>& categories,
                        const std::vector<BarSeries>& series);
    void setPyramid(const QString& title, const std::vector<Slice>& layers);
    // Bubbles sized by `size` (the largest drawn 200 % of the base radius),
    // the x axis named.
    void setBubbles(const QString& xAxisName, const std::vector<Point>& bubbles);
    // One series per point, markers of 5 pixels with their labels; the wheel
    // zooms (x down to a hundredth of 0..largestX, y down to a tenth).
    void setCluster(const std::vector<Point>& points, double largestX);
    // An area over points labelled by `labels` (one each), y axis named.
    void setArea(const QString& yAxisName, const std::vector<QString>& labels, const std::vector<double>& values);
    // Changes one point of the area.
    void setPointValue(int index, double value);
    // A line through the points in order (x = 1, 2, ...), each marker in its
    // colour with its label at 45 degrees, and an empty red series "R".
    void setLevels(const QString& title, const std::vector<QString>& labels, const std::vector<Point>& points);

    Kind kind() const { return m_kind; }
    QString title() const { return m_title; }
    const std::vector<Slice>& slices() const { return m_slices; } // pie or pyramid
    int rotation() const { return m_rotation; }
    const std::vector<QString>& categories() const { return m_categories; }
    const std::vector<BarSeries>& barSeries() const { return m_bars; }
    const std::vector<Point>& points() const { return m_points; }
    const std::vector<double>& areaValues() const { return m_area; }
    bool legendVisible() const;
    // The point under a pixel of the plot (-1 when none), and a point's pixel.
    int pointAt(const QPointF& pixel) const;
    QPointF pixelOf(int index) const;

    // Writes the chart as a BMP (".bmp") or PNG picture; false when it could
    // not be written.
    bool exportImage(const QString& path);
    QCustomPlot* plot() const { return m_plot; }

    // The cluster's point labels as they are drawn at the chart's size and
    // zoom: the pixel area of each shown label, by point; an empty area for
    // a label left out because it would cover another. And the plot's area,
    // which every shown label lies inside.
    std::vector<QRectF> clusterLabelAreas() const;
    QRectF plotArea() const;

signals:
    // The mouse moved onto a point (index) or off every point (-1).
    void pointHovered(int index);
    // A mouse button was released over a point.
    void pointReleased(int index, Qt::MouseButton button);

private:
    void setTitle(const QString& title);
    void addPointSeries(const Point& p, double pixels);
    void onMouseMove(QMouseEvent* event);
    void onMouseRelease(QMouseEvent* event);
    void placeClusterLabels();

    QCustomPlot* m_plot = nullptr;
    Kind m_kind = Kind::None;
    QString m_title;
    std::vector<Slice> m_slices;
    int m_rotation = 0;
    std::vector<QString> m_categories;
    std::vector<BarSeries> m_bars;
    std::vector<Point> m_points;
    std::vector<double> m_pointPixels; // marker diameter of each point
    std::vector<double> m_area;
    int m_hovered = -1;
    QObject* m_zoomContext = nullptr; // the cluster's zoom limits; gone with the cluster
    std::vector<QCPItemText*> m_clusterLabels; // by point; owned by the plot
};
