#pragma once
// A grid whose header shows several text lines (column names with '\n').
// Every such grid shares one saved layout, "MultiLineHeaderGrid": it is
// loaded when the grid is set up and saved when it is destroyed.
#include "ui/grid_view.h"

class CMultiLineHeaderGridCtrl : public ui::GridView {
    Q_OBJECT
public:
    static constexpr const char* kStateSection = "MultiLineHeaderGrid";

    // The header line count is fixed by the creator.
    explicit CMultiLineHeaderGridCtrl(int headerLineCount, QWidget* parent = nullptr);
    ~CMultiLineHeaderGridCtrl() override;

    // After the columns are set: the header lines and the shared layout.
    void OnCreate();
};
