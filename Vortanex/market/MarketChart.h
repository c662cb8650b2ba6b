#pragma once
// The market dialog's chart surface on QCustomPlot: a pie (slices with a
// radial gradient, a start rotation and data labels), stacked bars with
// categories and a legend, and a pyramid (layers from the largest value at
// the base). It keeps what it draws so the dialog's tests can read it, and
// exports the picture as BMP or PNG. UI thread only.
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QCustomPlot;
class QCPAbstractPlottable;

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
    enum class Kind { None, Pie, StackedBars, Pyramid };

    explicit MarketChart(QWidget* parent = nullptr);
    ~MarketChart() override;

    // Removes every series and the title.
    void clear();
    // Zero and negative slices are left out; rotation in degrees.
    void setPie(const QString& title, const std::vector<Slice>& slices, int rotation);
    void setStackedBars(const QString& title, const std::vector<QString>& categories,
                        const std::vector<BarSeries>& series);
    void setPyramid(const QString& title, const std::vector<Slice>& layers);

    Kind kind() const { return m_kind; }
    QString title() const { return m_title; }
    const std::vector<Slice>& slices() const { return m_slices; } // pie or pyramid
    int rotation() const { return m_rotation; }
    const std::vector<QString>& categories() const { return m_categories; }
    const std::vector<BarSeries>& barSeries() const { return m_bars; }
    bool legendVisible() const;

    // Writes the chart as a BMP (".bmp") or PNG picture; false when it could
    // not be written.
    bool exportImage(const QString& path);
    QCustomPlot* plot() const { return m_plot; }

private:
    void setTitle(const QString& title);

    QCustomPlot* m_plot = nullptr;
    Kind m_kind = Kind::None;
    QString m_title;
    std::vector<Slice> m_slices;
    int m_rotation = 0;
    std::vector<QString> m_categories;
    std::vector<BarSeries> m_bars;
};
