#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Handles.h"
#include "win/ColumnSettings.h"
#include "win/Reflection.h"
#include "win/Subclass.h"

namespace ravolen {

// What the editable list raises. Nothing is caught inside the list: the error reaches the caller,
// and whatever the failing member did before it stays done.
class ListError : public std::runtime_error {
public:
    enum class Kind {
        NotBound,        // a member needs the list view (or the edit box) bound first
        DuplicateKey,    // a column key already in use
        NoSuchRow,       // a row position the list does not have
        ControlRefused,  // the list view would not take a row or a column
    };

    ListError(Kind kind, const char* what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// The rows an editable list edits, where they are kept; without one, the list view's own items.
class EditedRows {
public:
    // A key that stays with row `row` (from 1) while rows before it come and go, never given to
    // another row; and the row that has it now (`hint` first), or 0 when that row is gone.
    virtual std::uint64_t rowKey(int row) = 0;
    virtual int rowWithKey(std::uint64_t key, int hint) = 0;
    // Writes a cell the editor finished.
    virtual void writeCell(int row, int column, const std::wstring& text) = 0;
    // What the rows' owner already found under the point a click ends at, spared asking the list
    // again; nothing when it did not look.
    virtual std::optional<LVHITTESTINFO> hitAt(POINT) { return std::nullopt; }

protected:
    ~EditedRows() = default;
};

// An editable table: a report list view, and a borderless edit box in the same container that
// serves as the in-place cell editor, with settings per column. It knows nothing of what the rows
// mean, and keeps no copy of a cell: the list view's rows are the only store, so rows that other
// code adds to the list view are handled like its own.
//
// Bind the list view first, then the edit box, then add the columns from left to right. Every
// failure raises ListError; nothing is caught or undone inside.
// Sizes are twips, the unit of the window that holds both controls.
//
// Editing in place: a click on a cell of an editable column lays the edit box over the cell with
// the cell's text, selected. Enter, a click on a row of the list, Up or Down write the box's text
// into the row the edit was opened on (Up and Down then move the selection); Escape writes the
// old text back. Focus moving elsewhere leaves the edit pending, its text not yet in the table,
// until commitEdit() writes it: every command that reads the table calls it first. The edited row
// is remembered by its key (EditedRows; for the list's own items, win::ListView::rowSerial),
// never handed out twice, so a row added after its row went never receives the edit; a row that
// goes takes its open edit with it at once (rowsRemoved() where the rows are kept elsewhere).
// The keys typed into the box belong to it: Enter and Escape never reach the window's buttons.
class EditableList final : private win::Reflector {
public:
    EditableList() = default;
    EditableList(const EditableList&) = delete;
    EditableList& operator=(const EditableList&) = delete;

    // Removes the row at 1-based position `row`; the rows after it move up.
    void removeRow(int row);
    // Appends a row of these cells from the first column on. Cells without a column are ignored,
    // columns without a cell stay empty.
    void addRow(std::span<const std::wstring> cells);
    // Appends a column; `align` is 0 left, 1 right, 2 centred. A key already in use raises
    // DuplicateKey and adds nothing.
    void addColumn(std::wstring_view name, std::wstring_view key, double widthTwips, bool grow,
                   bool edit, std::int16_t align, bool show);

    // Takes the column with that key out of the list view and the settings; the columns after it
    // move left. An open edit is closed first. Nothing when no column has the key.
    void removeColumn(std::wstring_view key);

    // Binds the list view (replacing any bound before) and sets it up: report view, manual label
    // editing, full-row selection, grid lines, and the selection shown without the focus.
    void bindList(HWND list);
    HWND list() const { return list_; }

    // The DPI its twips are measured at: the window's, which changes when the window moves to a
    // monitor of another scale. An open edit box is laid over its cell again.
    void scale(int dpi);

    // Gives every growing column the list's width less the created widths of the fixed columns
    // and 330 twips for the border and a vertical scroll bar.
    void resizeColumns();

    // Binds the edit box and sets it up: no border, flat, white, hidden and empty.
    void bindEditor(HWND editor);
    // Where the rows are kept, when not in the list view's items; it outlives the list.
    void bindRows(EditedRows* rows) { rows_ = rows; }
    // Rows went by other means than the list view's items: an edit of one of them is closed.
    void rowsRemoved();

    // Writes a pending edit into its row, as Enter does; the focus goes to the list only when the
    // box had it. Nothing when no edit is open.
    void commitEdit();
    // Closes an open edit without writing it.
    void discardEdit();

    // The settings of the column with that key, or null.
    const ColumnSettings* column(std::wstring_view key) const;
    ColumnSettings* column(std::wstring_view key);

private:
    // The notifications of the two controls, reflected by their window or seen by the subclass.
    std::optional<LRESULT> reflectNotify(NMHDR& header) override;
    bool reflectCommand(HWND control, int code) override;
    HBRUSH reflectColour(HWND control, HDC dc) override;
    std::optional<LRESULT> editorMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void onListClicked();
    void onListMouseUp(float x, float y);  // twips from the list view's top-left corner
    void onEditorFocused();
    void onEditorKeyPress(wchar_t& typed);
    void onEditorKeyUp(int key);
    void onEditorFocusLost();

    void requireList() const;
    int toPixels(double twips) const;
    float toTwips(int pixels) const;
    void attachEditor(HWND editor);
    // The box's text alignment; an edit box takes a new one only when it is created anew.
    void alignEditor(std::int16_t align);
    // The box's colours; a visible box repaints unless `repaint` is false.
    void colourEditor(int background, int text, bool repaint = true);
    // The height of a line of the box's text, in pixels.
    int editorLineHeight();
    // The row the edit goes to, from 1, or 0 when it is no longer there.
    int editedRow() const;
    // The row's key: its serial in the list view's items, given now when it has none yet.
    std::uint64_t rowKey(int row);
    // Writes the box's text into the edited row and hides the box.
    void finishEdit(bool focusList);
    // Hides the edit box; what lay under it repaints.
    void hideEditor();
    // Lays the edit box over a cell: row from 0, column by its 1-based index; `show` shows it too.
    void coverCell(int row, int column, bool show = false);
    // The row under a point of the list's client area, whatever column it lies in, or -1.
    int rowAt(POINT point) const;
    void openCellAt(POINT at, int row, std::optional<int> column);

    HWND list_ = nullptr;
    HWND header_ = nullptr;  // the list's, which it keeps for its life
    HWND editor_ = nullptr;
    // The row that receives the edit, by its serial (it outlives changes of position); none while
    // no edit is open.
    std::optional<std::uint64_t> item_;
    EditedRows* rows_ = nullptr;
    int itemRow_ = 0;  // where that row stood when the edit opened
    std::int16_t editColumn_ = 0;  // the edited column's index; -1 after a hit on a fixed column
    bool editing_ = false;
    std::wstring oldText_;
    ColumnSettings* column_ = nullptr;  // the cursor of every walk over the columns
    std::vector<std::pair<std::wstring, std::unique_ptr<ColumnSettings>>> columns_;

    int dpi_ = 96;
    win::ReflectionBinding listBinding_;
    win::ReflectionBinding textBinding_;
    win::Subclass textKeys_;
    COLORREF textBack_ = RGB(255, 255, 255);
    COLORREF textFore_ = RGB(0, 0, 0);
    BrushHandle textBrush_;
    COLORREF textBrushColour_ = CLR_INVALID;
    LOGFONTW lineHeightFont_{};
    int lineHeight_ = 0;
};

}  // namespace ravolen
