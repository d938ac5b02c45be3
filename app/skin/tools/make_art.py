#!/usr/bin/env python3
"""Writes the skin's drawings as SVG files into app/skin/art/ (same folders
as the PNGs of the skin). One style: 24-unit line icons, light grey strokes
(#D6DDE4) on the dark panels, blue (#1F8FD6) for the active accent, red
(#E5484D) for recording and deleting. skin_rasterize turns them into PNGs:
    python3 app/skin/tools/make_art.py
    build/bin/skin_rasterize app/skin/art app/skin/default
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "..", "art")

FG = "#D6DDE4"
DIM = "#5E6B78"
ACCENT = "#1F8FD6"
RED = "#E5484D"


def svg(w, h, body, view=None):
    view = view or "0 0 %d %d" % (w, h)
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="%s">%s</svg>\n'
            % (w, h, view, body))


def icon(body, color=FG, size=24, width=1.8):
    g = ('<g fill="none" stroke="%s" stroke-width="%s" stroke-linecap="round" stroke-linejoin="round">%s</g>'
         % (color, width, body))
    return svg(size, size, g, "0 0 24 24")


def dot(x, y, r=1.9, color=FG):
    return '<circle cx="%s" cy="%s" r="%s" fill="%s" stroke="none"/>' % (x, y, r, color)


ART_FILES = {}


def add(path, text):
    ART_FILES[path] = text


# --- title bar ------------------------------------------------------------
add("ui/titlebar/logo.svg", svg(18, 18,
    '<circle cx="9" cy="9" r="8" fill="%s"/>'
    '<circle cx="9" cy="9" r="4.2" fill="none" stroke="#FFFFFF" stroke-width="1.8"/>'
    '<circle cx="9" cy="9" r="1.5" fill="#FFFFFF"/>' % ACCENT))
add("ui/logo/app_icon.svg", svg(64, 64,
    '<rect x="2" y="2" width="60" height="60" rx="12" fill="#10151B"/>'
    '<circle cx="32" cy="32" r="22" fill="%s"/>'
    '<circle cx="32" cy="32" r="11" fill="none" stroke="#FFFFFF" stroke-width="4.5"/>'
    '<circle cx="32" cy="32" r="4" fill="#FFFFFF"/>' % ACCENT))
add("ui/titlebar/menu.svg", icon('<path d="M5 7h14M5 12h14M5 17h14"/>', size=16))
add("ui/titlebar/min.svg", icon('<path d="M6 12h12"/>', size=16))
add("ui/titlebar/max.svg", icon('<rect x="6" y="6" width="12" height="12" rx="1"/>', size=16))
add("ui/titlebar/restore.svg", icon('<rect x="5" y="9" width="10" height="10" rx="1"/><path d="M9 9V5h10v10h-4"/>', size=16))
add("ui/titlebar/close.svg", icon('<path d="M6 6l12 12M18 6L6 18"/>', size=16))
add("ui/titlebar/btn_hot.svg", svg(34, 26, '<rect width="34" height="26" fill="#FFFFFF" fill-opacity="0.10"/>'))
add("ui/titlebar/close_hot.svg", svg(34, 26, '<rect width="34" height="26" fill="%s"/>' % RED))

# --- tool bar -------------------------------------------------------------
add("ui/toolbar/btn_hot.svg", svg(40, 36, '<rect x="1" y="1" width="38" height="34" rx="4" fill="#FFFFFF" fill-opacity="0.08"/>'))
add("ui/toolbar/btn_pushed.svg", svg(40, 36, '<rect x="1" y="1" width="38" height="34" rx="4" fill="%s" fill-opacity="0.35"/>' % ACCENT))
camera = ('<path d="M3 8.5A1.5 1.5 0 0 1 4.5 7H7l1.6-2.2h6.8L17 7h2.5A1.5 1.5 0 0 1 21 8.5v9A1.5 1.5 0 0 1 19.5 19h-15A1.5 1.5 0 0 1 3 17.5z"/>'
          '<circle cx="12" cy="13" r="3.6"/>')
add("ui/toolbar/capture.svg", icon(camera))
add("ui/toolbar/capture_active.svg", icon(camera, ACCENT, width=2.1))
add("ui/toolbar/capture_disabled.svg", icon(camera, DIM))
add("ui/toolbar/dropdown.svg", icon('<path d="M6 9l6 6 6-6"/>', size=12, width=2.4))
add("ui/toolbar/dropdown_disabled.svg", icon('<path d="M6 9l6 6 6-6"/>', DIM, size=12, width=2.4))
video = '<rect x="3" y="6.5" width="12.5" height="11" rx="1.5"/><path d="M15.5 10.5l5-3v9l-5-3"/>'
add("ui/toolbar/record.svg", icon(video + dot(9.25, 12, 2.2, RED)))
add("ui/toolbar/record_active.svg", icon(video + dot(9.25, 12, 2.6, RED), RED, width=2.1))
add("ui/toolbar/record_disabled.svg", icon(video, DIM))
folder = '<path d="M3 7.5A1.5 1.5 0 0 1 4.5 6h4.2l2 2h8.8A1.5 1.5 0 0 1 21 9.5v8A1.5 1.5 0 0 1 19.5 19h-15A1.5 1.5 0 0 1 3 17.5z"/>'
add("ui/toolbar/folder.svg", icon(folder))
add("ui/toolbar/folder_disabled.svg", icon(folder, DIM))
# Picture commands: open a file, freeze, focus figure, depth of field, panorama, shading.
# The toggles get an accent version for their selected state.
open_file = '<path d="M6 3.5h8l4 4V20.5H6z"/><path d="M14 3.5v4h4"/><path d="M12 10.5v6M9.5 14l2.5 2.5 2.5-2.5"/>'
freeze = '<rect x="7" y="5.5" width="3.5" height="13" rx="1"/><rect x="13.5" y="5.5" width="3.5" height="13" rx="1"/>'
focus = ('<path d="M4 8.5V4h4.5M15.5 4H20v4.5M20 15.5V20h-4.5M8.5 20H4v-4.5"/>'
         '<circle cx="12" cy="12" r="3.2"/>')
stack = '<path d="M12 4l8.5 4.2L12 12.4 3.5 8.2z"/><path d="M3.5 12.2l8.5 4.2 8.5-4.2"/><path d="M3.5 16l8.5 4.2 8.5-4.2"/>'
panorama = '<rect x="2.5" y="7" width="8" height="10" rx="1"/><rect x="8.5" y="5" width="8" height="10" rx="1"/><path d="M15 9h5.5v10h-8v-2"/>'
shading = '<circle cx="12" cy="12" r="8.5"/><path d="M12 3.5v17"/><path d="M12 7.5h5.8M12 11.5h8M12 15.5h6.5"/>'
for name, body in (("open", open_file), ("freeze", freeze), ("focus", focus), ("stack", stack),
                   ("panorama", panorama), ("shading", shading)):
    add("ui/toolbar/%s.svg" % name, icon(body))
    add("ui/toolbar/%s_disabled.svg" % name, icon(body, DIM))
    if name != "open":
        add("ui/toolbar/%s_active.svg" % name, icon(body, ACCENT, width=2.1))

# --- status bar -----------------------------------------------------------
add("ui/statusbar/output.svg", icon('<rect x="3" y="4" width="18" height="16" rx="1.5"/><path d="M3 14h18"/>', DIM, size=16))
add("ui/statusbar/output_on.svg", icon('<rect x="3" y="4" width="18" height="16" rx="1.5"/><path d="M3 14h18M6 17h8"/>', FG, size=16))
add("ui/statusbar/fullscreen.svg", icon('<path d="M4 9V4h5M15 4h5v5M20 15v5h-5M9 20H4v-5"/>', FG, size=16))

# --- side bar, drawers and controls ---------------------------------------
add("ui/sidebar/tab_selected.svg", svg(24, 34, '<rect x="0" y="31" width="24" height="3" fill="%s"/>' % ACCENT))
add("ui/sidebar/page_selected.svg", svg(24, 36, '<rect x="0" y="0" width="3" height="36" fill="%s"/>' % ACCENT))


def drawer_head(fill, arrow, arrow_color):
    return svg(292, 28, '<rect width="292" height="28" fill="%s"/><rect y="27" width="292" height="1" fill="#1B2129"/>'
               '<path d="%s" fill="none" stroke="%s" stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round"/>'
               % (fill, arrow, arrow_color))


add("ui/drawer/head_closed.svg", drawer_head("#2E3742", "M10 10l4 4-4 4", "#8FA0B0"))
add("ui/drawer/head_hot.svg", drawer_head("#34404C", "M10 10l4 4-4 4", FG))
add("ui/drawer/head_open.svg", drawer_head("#34404C", "M8 12l4 4 4-4", ACCENT))
add("ui/controls/slider_bg_normal.svg", svg(40, 20, '<rect x="1" y="8" width="38" height="4" rx="2" fill="#46525F"/>'
                                            '<rect x="1" y="8" width="38" height="4" rx="2" fill="%s" fill-opacity="0.55"/>' % ACCENT))
add("ui/controls/slider_bg_disable.svg", svg(40, 20, '<rect x="1" y="8" width="38" height="4" rx="2" fill="#38424D"/>'))
add("ui/controls/slider_thumb.svg", svg(14, 14, '<circle cx="7" cy="7" r="6" fill="#E6EAEE" stroke="%s" stroke-width="2"/>' % ACCENT))
add("ui/controls/slider_thumb_hot.svg", svg(14, 14, '<circle cx="7" cy="7" r="6" fill="#FFFFFF" stroke="#4FB0EE" stroke-width="2"/>'))
add("ui/controls/slider_thumb_disabled.svg", svg(14, 14, '<circle cx="7" cy="7" r="6" fill="#69737E" stroke="%s" stroke-width="2"/>' % DIM))
# Check box and radio indicators: dark wells with a light rim, the accent when set.
WELL = "#1F252D"
RIM = "#6B7886"
add("ui/controls/check_off.svg", svg(16, 16, '<rect x="1.5" y="1.5" width="13" height="13" rx="2.5" fill="%s" stroke="%s" stroke-width="1.3"/>' % (WELL, RIM)))
add("ui/controls/check_on.svg", svg(16, 16, '<rect x="1.5" y="1.5" width="13" height="13" rx="2.5" fill="%s" stroke="%s" stroke-width="1.3"/>'
                                    '<path d="M4.5 8.3l2.4 2.4 4.8-5.2" fill="none" stroke="#FFFFFF" stroke-width="1.9" stroke-linecap="round" stroke-linejoin="round"/>' % (ACCENT, ACCENT)))
add("ui/controls/radio_off.svg", svg(16, 16, '<circle cx="8" cy="8" r="6.5" fill="%s" stroke="%s" stroke-width="1.3"/>' % (WELL, RIM)))
add("ui/controls/radio_on.svg", svg(16, 16, '<circle cx="8" cy="8" r="6.5" fill="%s" stroke="%s" stroke-width="1.5"/>'
                                    '<circle cx="8" cy="8" r="3.4" fill="%s"/>' % (WELL, ACCENT, ACCENT)))

# --- menus ----------------------------------------------------------------
add("ui/menu/ic_menu_checked.svg", svg(26, 26, '<path d="M7 13.5l4 4 8-9" fill="none" stroke="%s" stroke-width="2.2" stroke-linecap="round" stroke-linejoin="round"/>' % ACCENT))
MENU = "#3A4654"
add("ui/menu/ic_menu_settings.svg", icon('<circle cx="12" cy="12" r="3"/><path d="M12 3v2.5M12 18.5V21M3 12h2.5M18.5 12H21M5.6 5.6l1.8 1.8M16.6 16.6l1.8 1.8M5.6 18.4l1.8-1.8M16.6 7.4l1.8-1.8"/>', MENU, size=16))
add("ui/menu/ic_menu_update.svg", icon('<path d="M20 12a8 8 0 1 1-2.3-5.6"/><path d="M20 4v4.5h-4.5"/>', MENU, size=16))
add("ui/menu/ic_menu_about.svg", icon('<circle cx="12" cy="12" r="9"/><path d="M12 11v6"/>' + dot(12, 7.5, 1.3, MENU), MENU, size=16))

# --- message box pictures -------------------------------------------------


def badge(color, mark):
    return svg(110, 110, '<circle cx="55" cy="55" r="44" fill="%s" fill-opacity="0.16"/>'
               '<circle cx="55" cy="55" r="34" fill="%s"/>%s' % (color, color, mark))


WHITE = 'fill="none" stroke="#FFFFFF" stroke-width="7" stroke-linecap="round"'
add("ui/images/msgboxbg_warning.svg", svg(110, 110,
    '<circle cx="55" cy="57" r="44" fill="#F5A524" fill-opacity="0.14"/>'
    '<path d="M55 20L92 86H18z" fill="#F5A524" stroke="#F5A524" stroke-width="8" stroke-linejoin="round"/>'
    '<path d="M55 44v20" %s/><circle cx="55" cy="76" r="4.5" fill="#FFFFFF"/>' % WHITE))
add("ui/images/msgboxbg_question.svg", badge(ACCENT,
    '<path d="M45 46a10 10 0 1 1 14 9.2c-2.6 1.2-4 3.2-4 6V63" %s/><circle cx="55" cy="74" r="4.5" fill="#FFFFFF"/>' % WHITE))
add("ui/images/msgboxbg_information.svg", badge(ACCENT,
    '<path d="M55 52v24" %s/><circle cx="55" cy="39" r="4.5" fill="#FFFFFF"/>' % WHITE))

# --- the 21 measuring tools and the measure commands ----------------------
A = ACCENT
tools = {
    "none": '<path d="M6 4l12 7.5-5.2 1.3 3.2 6-2.4 1.2-3.2-6L6 17.5z"/>',
    "move": '<path d="M12 3v18M3 12h18M12 3l-3 3M12 3l3 3M12 21l-3-3M12 21l3-3M3 12l3-3M3 12l3 3M21 12l-3-3M21 12l-3 3"/>',
    "delete": '<path d="M5 7h14M9.5 7V4.5h5V7M7 7l1 13h8l1-13"/><path d="M10.5 10.5v6M13.5 10.5v6"/>',
    "point": '<path d="M12 5v4M12 15v4M5 12h4M15 12h4"/>' + dot(12, 12, 2.2, A),
    "line": '<path d="M5 19L19 5"/>' + dot(5, 19, 2, A) + dot(19, 5, 2, A),
    "linedistance": '<path d="M4 18L20 8"/><path d="M11 4l2.6 9.4" stroke-dasharray="2 2.2"/>' + dot(10.5, 4, 2, A),
    "brokenline": '<path d="M3 18l6-9 6 7 6-11"/>' + dot(3, 18, 1.8, A) + dot(9, 9, 1.8, A) + dot(15, 16, 1.8, A) + dot(21, 5, 1.8, A),
    "rect": '<rect x="4" y="6" width="16" height="12" rx="0.5"/>' + dot(4, 6, 1.8, A) + dot(20, 18, 1.8, A),
    "polygon": '<path d="M12 3.5l8 6-3 10H7l-3-10z"/>' + dot(12, 3.5, 1.8, A) + dot(20, 9.5, 1.8, A) + dot(7, 19.5, 1.8, A),
    "circle": '<circle cx="12" cy="12" r="8"/><path d="M12 12h8"/>' + dot(12, 12, 1.8, A),
    "circle2": '<circle cx="12" cy="12" r="8"/><path d="M4 12h16"/>' + dot(4, 12, 1.8, A) + dot(20, 12, 1.8, A),
    "circle3": '<circle cx="12" cy="12" r="8"/>' + dot(4.7, 8.5, 1.8, A) + dot(17.5, 6.2, 1.8, A) + dot(14, 19.7, 1.8, A),
    "arc": '<path d="M4 17A9 9 0 0 1 20 17"/>' + dot(4, 17, 1.8, A) + dot(12, 8.1, 1.8, A) + dot(20, 17, 1.8, A),
    "angle": '<path d="M19 19H5L16 6"/><path d="M10 19a5 5 0 0 0-1.4-3.5" stroke="%s"/>' % A,
    "text": '<path d="M5 6h14M12 6v13M9 19h6"/>',
    "perpendicular": '<path d="M4 19h16M12 19V5"/><path d="M12 15h4v4" stroke="%s"/>' % A,
    "crosshair": '<path d="M12 3v18M3 12h18"/>' + dot(12, 12, 1.8, A),
    "crosshair2": '<circle cx="12" cy="12" r="6"/><path d="M12 3v18M3 12h18"/>',
    "parallel": '<path d="M4 9h16M4 16h16"/><path d="M12 9v7" stroke="%s" stroke-dasharray="1.6 2"/>' % A,
    "parallels": '<path d="M4 6h16M4 12h16M4 18h16"/>',
    "concentric": '<circle cx="12" cy="12" r="8.5"/><circle cx="12" cy="12" r="4.5"/>' + dot(12, 12, 1.5, A),
    "twocircles": '<circle cx="7.5" cy="12" r="4.5"/><circle cx="17" cy="12" r="4"/><path d="M7.5 12H17" stroke="%s"/>' % A,
    "deleteall": '<path d="M5 7h14M9.5 7V4.5h5V7M7 7l1 13h8l1-13"/><path d="M9.5 11l5 5M14.5 11l-5 5" stroke="%s"/>' % RED,
    "color": '<path d="M12 3.5c4.7 0 8.5 3.4 8.5 7.6 0 2.5-2 4-4.3 4H14a1.7 1.7 0 0 0-1.3 2.8c.8 1 .2 2.6-1.2 2.6C7.1 20.5 3.5 16.7 3.5 12S7.3 3.5 12 3.5z"/>'
             + dot(8, 10.5, 1.4, RED) + dot(12, 7.5, 1.4, "#F5A524") + dot(16, 10.5, 1.4, A),
    "csv": '<path d="M6 3h8l4 4v14H6z"/><path d="M14 3v4h4"/><path d="M9 12h6M9 15h6M9 18h4" stroke="%s"/>' % A,
    "screenshot": '<path d="M4 8V5a1 1 0 0 1 1-1h3M16 4h3a1 1 0 0 1 1 1v3M20 16v3a1 1 0 0 1-1 1h-3M8 20H5a1 1 0 0 1-1-1v-3"/><circle cx="12" cy="12" r="3.2" stroke="%s"/>' % A,
}
for name, body in tools.items():
    add("ui/measure/%s.svg" % name, icon(body))


def main():
    for path, text in ART_FILES.items():
        full = os.path.join(ART, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)
    print("%d drawings" % len(ART_FILES))


if __name__ == "__main__":
    main()
