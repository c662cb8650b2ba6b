#pragma once
// The live workbook behind the spreadsheet link: what the link needs of a
// spreadsheet program, one book at a time. The link (ExcelLink) drives it
// from its own writer thread only, so a backend needs no lock of its own for
// its calls; the disconnect handler may be called from any thread.
// Colours are 0x00BBGGRR throughout; a backend that wants RGB swaps them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A cell's look. interior < 0: no fill (the cell's fill is cleared).
struct SheetStyle {
    int64_t interior = -1;
    uint32_t font = 0;
    bool bold = false;
    bool operator==(const SheetStyle& o) const
    {
        return interior == o.interior && font == o.font && bold == o.bold;
    }
};

// One cell to write: 1-based row and column.
struct SheetCell {
    int row = 0;
    int col = 0;
    std::string text;
    bool styled = false; // false: the value only, the look stays
    SheetStyle style;
};

// What a cell holds, as read back (tests, the live check).
struct SheetCellState {
    std::string text;
    SheetStyle style;
    int pattern = 0;
    std::string shown;     // as the cell shows it (number format applied)
    bool number = false;   // holds a number, not a text
    int columnWidth = 0;   // its column's width in the program's unit; 0 unknown
};

class SheetLink {
public:
    virtual ~SheetLink() = default;

    // Starts the program if needed and makes a new book (path empty) or
    // opens the file at path. false with error set when it cannot.
    virtual bool openBook(const std::string& path, std::string& bookName, std::string& error) = 0;
    // The book's sheets, in order, hidden ones included.
    virtual std::vector<std::string> sheetNames() = 0;
    // A new sheet at 0-based position; false when the program refuses it.
    virtual bool insertSheet(int position, const std::string& name) = 0;
    virtual bool renameSheet(const std::string& from, const std::string& to) = 0;
    virtual bool removeSheet(const std::string& name) = 0;
    virtual bool hideSheet(const std::string& name) = 0;
    // Cells of one sheet. A run of plain cells in one row is one block.
    virtual bool writeCells(const std::string& sheet, const std::vector<SheetCell>& cells) = 0;
    // A solid fill over columns first..last of a row; the texts stay.
    virtual bool fillRow(const std::string& sheet, int row, int firstCol, int lastCol, uint32_t colour,
                         int pattern) = 0;
    // Deletes whole rows first..last (1-based, inclusive); rows below move up.
    virtual bool deleteRows(const std::string& sheet, int firstRow, int lastRow) = 0;
    // The last row holding anything, 0 for an empty sheet.
    virtual int lastUsedRow(const std::string& sheet) = 0;
    virtual SheetCellState readCell(const std::string& sheet, int row, int col) = 0;
    // Ends the link to the book. closeBook: the book is closed too (a book
    // the user never saw, or one whose start failed); otherwise a visible
    // program stays open with the book.
    virtual void release(bool closeBook) = 0;
    // Called once when the user closes the book or the program ends.
    virtual void setDisconnectHandler(std::function<void()> handler) = 0;
    // Any thread, at the program's exit: a call waiting on the book ends at
    // once and every later call fails, without the disconnect notice.
    virtual void interrupt() {}
};
