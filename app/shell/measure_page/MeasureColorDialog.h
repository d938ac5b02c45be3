#pragma once
// CMeasureColorDialog: the four measurement colours (line, edge, dimension,
// text) chosen from fixed colour lists. A choice takes effect at once; OK
// keeps it, Cancel and the close button give the colours of the moment the
// dialog opened back to new measurements and the selected one.
#include "ui/BaseDialog.h"

#include <SFML/Graphics/Color.hpp>

class CComboUI;
class SFPrimitiveContainer;

namespace shell {

class CMeasureColorDialog : public CBaseDialog {
public:
    explicit CMeasureColorDialog(SFPrimitiveContainer& container);

    // Combo position of a colour: red 1, green 2, blue 3, yellow 4, cyan 5,
    // magenta 6, white 7 (all opaque); any other colour 0.
    static int PositionOf(sf::Color color);

    void OnInitDialog() override;
    void OnItemSelect(TNotifyUI& msg) override;
    void OnSelectChanged(TNotifyUI& msg) override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

private:
    // Reads the four combos and, when none is black, applies their colours.
    void Apply(bool recolourCombos);
    void Restore();
    // Writes the box's choice in its colour, lightened where it would not
    // read on the box.
    void ShowChoiceColour(CComboUI* combo) const;

    SFPrimitiveContainer& m_container;
    DWORD m_plainTextColor = 0;
    sf::Color m_saved[4];
    bool m_finished = false;
};

// Opens the dialog modally over `owner`.
void ShowMeasureColorDialog(HWND owner, SFPrimitiveContainer& container);

} // namespace shell
