#pragma once
// ListAdapterBase: the text callback of a list whose rows are made of text
// cells. A derived adapter writes the cell into a buffer of 260 characters
// that stays valid until the next cell is asked for.
#include "ui/UIDefs.h"

#include <cstddef>
#include <string>

namespace shell {

class ListAdapterBase : public IListCallbackUI {
public:
    static constexpr std::size_t kCellChars = 260;

    LPCTSTR GetItemText(CControlUI* list, int row, int column) final
    {
        m_cell.clear();
        CellText(list, row, column, m_cell);
        if (m_cell.size() >= kCellChars)
            m_cell.resize(kCellChars - 1);
        return m_cell.c_str();
    }

protected:
    // Appends the text of (row, column) to `out`; nothing for no text.
    virtual void CellText(CControlUI* list, int row, int column, std::string& out) = 0;

private:
    std::string m_cell;
};

} // namespace shell
