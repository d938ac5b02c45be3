#pragma once
// CDialogBuilder: builds a control tree from a layout file of the skin.
//
// Layout file schema (XML; attribute values as in CControlUI::SetAttribute):
//   <Window size="360,186" caption="0,0,0,26" sizebox="4,4,4,4"
//           roundcorner="3,3" mininfo="800,450" shadowsize="4"
//           shadowdarkness="80" bkcolor="#FFFFFFFF">
//     <Font id="0" name="Noto Sans" size="12" bold="false" default="true"/>
//     <Style name="capbtn" value='width="26" hotimage="..."'/>
//     <VerticalLayout> ...one root control... </VerticalLayout>
//   </Window>
// A row layout may have a control as its root element. Element names:
// Control, Container, VerticalLayout, HorizontalLayout, TabLayout, Label,
// Text, Button, Option, CheckBox, Slider, Edit, Combo (with Item children),
// List (with Column children), ListContainerElement, ListTextElement, and
// Include source="other.xml". Any other name is asked from the callback
// (custom controls). A "style" attribute applies a named Style first.
#include "ui/UIDefs.h"

#include <string>

class CDialogBuilder {
public:
    // Builds the layout `skinFile`. With a manager, the window attributes and
    // fonts of the layout go to it. Returns the root control (owned by the
    // caller until attached or added), null on a missing or broken file.
    CControlUI* Create(const std::string& skinFile, IDialogBuilderCallback* callback = nullptr,
                       CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);
    // Same from layout text in memory.
    CControlUI* CreateFromText(const std::string& xml, IDialogBuilderCallback* callback = nullptr,
                               CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);
    // The parse error of the last call ("" when it succeeded).
    const std::string& GetLastError() const { return m_error; }

private:
    std::string m_error;
};
