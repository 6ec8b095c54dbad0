#!/usr/bin/env python3
"""Writes src/app/mainwindow.ui from the widget tables below.

The form is a fixed, absolutely positioned page, so it reads better as tables
than as Designer XML.  Edit the tables, run this script, commit both files:
    tools/form-gen/gen_mainwindow_ui.py            # writes src/app/mainwindow.ui
    tools/form-gen/gen_mainwindow_ui.py OUT.ui     # writes elsewhere
"""
import os
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))
DEFAULT_OUT = os.path.join(ROOT, 'src', 'app', 'mainwindow.ui')

# --- fonts -------------------------------------------------------------------
# (family, point size or None when the size comes from the parent)
ARIAL = ('Arial', 12)
ARIAL14 = ('Arial', 14)
ARIAL_NOSIZE = ('Arial', None)
SONG = ('宋体', 12)
SONG_NOSIZE = ('宋体', None)
SONG10 = ('宋体', 10)
TIMES = ('Times New Roman', 12)

# --- the widget tree -----------------------------------------------------------
# A node is a dict: cls, name, props (ordered list of (name, kind, value)),
# children, and for layouts the grid cell of each item.


def node(cls, name, props=(), children=(), attrs=()):
    return {'cls': cls, 'name': name, 'props': list(props), 'children': list(children),
            'attrs': list(attrs)}


def geom(x, y, w, h):
    return ('geometry', 'rect', (x, y, w, h))


def font(f):
    return ('font', 'font', f)


def text(s):
    return ('text', 'string', s)


def label(name, caption, g, f=ARIAL, extra=()):
    props = [geom(*g)]
    if f:
        props.append(font(f))
    props += [text(caption)] + list(extra)
    return node('QLabel', name, props)


def line_edit(name, initial, g, f=SONG, read_only=False):
    props = [geom(*g)]
    if f:
        props.append(font(f))
    props.append(text(initial))
    if read_only:
        props.append(('readOnly', 'bool', True))
    return node('QLineEdit', name, props)


def button(name, caption, g, f=ARIAL):
    return node('QPushButton', name, [geom(*g), font(f), text(caption)])


def combo(name, items, g):
    n = node('QComboBox', name, [geom(*g), font(ARIAL)])
    n['items'] = items
    return n


def line(name, g, orientation):
    return node('Line', name, [geom(*g), ('frameShadow', 'enum', 'QFrame::Sunken'),
                               ('orientation', 'enum', 'Qt::' + orientation)])


def group(name, title, g, children, f=ARIAL):
    return node('QGroupBox', name, [geom(*g), font(f), ('title', 'string', title)], children)


def picture(name, g, style):
    return node('QFrame', name, [geom(*g), ('styleSheet', 'string', style),
                                 ('frameShape', 'enum', 'QFrame::StyledPanel'),
                                 ('frameShadow', 'enum', 'QFrame::Raised')])


def pairs(rows, caption_font=ARIAL, field_font=SONG, read_only=False):
    """rows: (caption, text, geometry, field, initial, geometry[, caption font, field font])"""
    out = []
    for r in rows:
        cf = r[6] if len(r) > 6 else caption_font
        ff = r[7] if len(r) > 7 else field_font
        out.append(label(r[0], r[1], r[2], cf))
        out.append(line_edit(r[3], r[4], r[5], ff, read_only))
    return out


# Pictures of the energy flow: panel -> controller -> load, controller -> battery.
PICTURES = [
    picture('frame_2', (0, 6, 131, 105), 'image:url(:/Images/Images/128X128/PV1.png)'),
    picture('frame_3', (140, 40, 71, 43), 'image: url(:/Images/Images/4.png)'),
    picture('frame_4', (208, 6, 153, 117), 'image: url(:/Images/Images/128X128/1234.png)'),
    picture('frame_5', (356, 42, 75, 43), 'image:url(:/Images/Images/4.png)'),
    picture('frame_6', (379, 1, 223, 119), 'image:url(:/Images/Images/128X128/load1.png)'),
    picture('frame_7', (260, 140, 51, 43), 'image: url(:/Images/Images/2.png)'),
    picture('frame_8', (232, 182, 111, 81), 'image: url(:/Images/Images/128X128/Battery1.png)'),
]

# Live values: each field lies over the blank run of its caption.
LIVE_VALUES = pairs([
    ('label', 'Internal temperature：       ℃', (182, 120, 221, 21),
     'lineEdit_46', '-00', (346, 120, 31, 21)),
]) + [
    group('groupBox', 'Component', (-1, 160, 163, 191), pairs([
        ('label_2', 'Voltage:                 V', (2, 18, 151, 21), 'lineEdit_34', '000.00', (66, 20, 61, 20)),
        ('label_3', 'Current:                 A', (2, 40, 161, 21), 'lineEdit_35', '000.00', (66, 40, 61, 20)),
        ('label_4', 'Power:                   W', (2, 60, 154, 21), 'lineEdit_36', '000.00', (66, 60, 61, 20)),
        ('label_5', 'State:        ', (2, 80, 111, 21), 'lineEdit_37', 'NO', (50, 80, 100, 20)),
    ]) + [line('line', (6, 100, 151, 21), 'Horizontal')] + pairs([
        ('label_7', 'Called power：', (10, 120, 111, 21), 'lineEdit_38', '0000001', (10, 140, 111, 20)),
        ('label_8', 'Efficiency:              %', (6, 162, 159, 21), 'lineEdit_39', '00.00', (92, 162, 50, 20)),
    ])),
    group('groupBox_2', 'Battery info', (172, 262, 349, 91), pairs([
        ('label_9', 'Voltage:                V', (10, 20, 149, 21), 'lineEdit_40', '000.00', (74, 18, 61, 20)),
        ('label_10', 'Current:                A', (10, 40, 146, 21), 'lineEdit_41', '000.00', (74, 38, 61, 20)),
        ('label_11', 'Stages：', (10, 60, 67, 20), 'lineEdit_44', 'Bulk', (74, 60, 76, 20),
         ARIAL_NOSIZE, ARIAL),
        ('label_12', 'System：           V', (176, 20, 134, 21), 'lineEdit_42', '000', (246, 20, 41, 20),
         ARIAL_NOSIZE, SONG_NOSIZE),
        ('label_13', 'Capacity：          %', (174, 38, 157, 21), 'lineEdit_43', '000', (252, 42, 41, 20),
         ARIAL_NOSIZE, SONG_NOSIZE),
        ('label_14', 'Temperature：       ℃', (174, 58, 175, 21), 'lineEdit_45', '000', (278, 62, 31, 20),
         ARIAL_NOSIZE, SONG_NOSIZE),
    ])),
    group('groupBox_3', 'Load info', (400, 170, 167, 91), pairs([
        ('label_18', 'Voltage:                  V', (11, 21, 154, 16), 'lineEdit_47', '000.00', (84, 20, 59, 16)),
        ('label_15', 'Current:                  A', (11, 43, 153, 16), 'lineEdit_48', '000.00', (84, 42, 59, 16)),
        ('label_16', 'Power:                   W', (11, 65, 154, 16), 'lineEdit_49', '000.00', (84, 64, 59, 16)),
    ])),
    line('line_3', (558, -4, 20, 363), 'Vertical'),
    # The totals are cleared through their buttons, never typed.
    group('groupBox_4', 'Power generation accumulation：', (576, 10, 265, 83), pairs([
        ('label_66', 'Total:                   KAh', (4, 30, 215, 21), 'lineEdit_54', '00.00', (64, 32, 51, 20)),
        ('label_67', 'Total:                   MWh', (4, 58, 171, 21), 'lineEdit_56', '00.00', (64, 60, 51, 20)),
    ], field_font=SONG_NOSIZE, read_only=True)),
    group('groupBox_5', 'Electricity accumulation：', (578, 94, 267, 89), pairs([
        ('label_74', 'Total:                  KAh', (6, 32, 179, 21), 'lineEdit_62', '00.00', (64, 34, 51, 20)),
        ('label_75', 'Total:                  MWh', (6, 58, 163, 21), 'lineEdit_64', '00.00', (64, 60, 51, 20)),
    ], field_font=SONG_NOSIZE, read_only=True)),
]

# Identity of the controller, read from it, never typed.
DEVICE_INFO = [
    group('groupBox_6', 'Device info：', (664, 186, 457, 167), pairs([
        ('label_91', 'Device rated voltage：                                       V', (10, 20, 361, 21),
         'lineEdit_79', '0000', (174, 20, 161, 20)),
        ('label_89', 'Device rated charge current：                                      A', (10, 40, 409, 21),
         'lineEdit_77', '0000', (234, 40, 153, 20)),
        ('label_90', 'Device rated discharge current：                                         A', (10, 60, 449, 21),
         'lineEdit_78', '0000', (258, 60, 161, 20)),
        ('label_80', 'Version info：', (10, 80, 107, 21), 'lineEdit_67', 'Unknow', (122, 80, 241, 20)),
        ('label_81', 'Device model：', (10, 100, 123, 21), 'lineEdit_68', 'Unknow', (122, 100, 241, 20)),
        ('label_82', 'Device serial number：', (10, 120, 177, 21),
         'lineEdit_69', '0000-0000-0000-0000', (181, 120, 216, 20)),
        ('label_83', 'Factory：', (10, 140, 71, 21), 'lineEdit_70', 'Unknow', (76, 140, 296, 20)),
    ], caption_font=None, field_font=SONG_NOSIZE, read_only=True)),
]

# Hex of the last frame sent and received: green on black, like a terminal.
GREEN = (85, 255, 0)
GRAY = (120, 120, 120)
BLACK = (0, 0, 0)
TERMINAL_PALETTE = {
    group_name: [(role, BLACK if role in ('Button', 'Base', 'Window') else fg)
                 for role in ('WindowText', 'Button', 'Text', 'ButtonText', 'Base', 'Window')]
    for group_name, fg in (('active', GREEN), ('inactive', GREEN), ('disabled', GRAY))
}
ZERO_FRAME_HTML = (
    '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.0//EN" "http://www.w3.org/TR/REC-html40/strict.dtd">\n'
    '<html><head><meta name="qrichtext" content="1" /><style type="text/css">\n'
    'p, li { white-space: pre-wrap; }\n'
    "</style></head><body style=\" font-family:'宋体'; font-size:10pt; font-weight:600; font-style:normal;\">\n"
    '<p style=" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px;'
    ' -qt-block-indent:0; text-indent:0px;"><span style=" font-size:12pt; font-weight:400;">'
    + '00 ' * 26 + '</span></p></body></html>')


def frame_box(name, g):
    return node('QTextEdit', name, [geom(*g), ('palette', 'palette', TERMINAL_PALETTE), font(SONG10),
                                    ('html', 'string', ZERO_FRAME_HTML)])


def frame_caption(name, caption, g):
    return label(name, caption, g, ARIAL14, [('styleSheet', 'string', 'color: rgb(255, 0, 0);'),
                                             ('textFormat', 'enum', 'Qt::AutoText'),
                                             ('scaledContents', 'bool', False),
                                             ('wordWrap', 'bool', True)])


FRAME_BOXES = [
    line('line_15', (852, -2, 20, 191), 'Vertical'),
    frame_caption('label_102', 'Send command', (886, -12, 219, 51)),
    frame_box('textEdit', (884, 26, 281, 61)),
    frame_caption('label_103', 'Receive command', (886, 72, 263, 51)),
    frame_box('textEdit_2', (884, 112, 281, 61)),
]

BLOCK_BUTTONS = [
    button('pushButton_96', 'Read configuration', (0, 360, 195, 41), ARIAL14),
    button('pushButton_110', 'Write configuration', (195, 360, 195, 41), ARIAL14),
    button('pushButton_95', 'One-click read', (0, 400, 390, 33), ARIAL14),
    button('pushButton_94', 'One-click write', (0, 430, 390, 31), ARIAL14),
    button('pushButton_90', 'One-click read', (392, 360, 363, 23)),
    button('pushButton_91', 'one-click write', (392, 380, 363, 23)),
    button('pushButton_88', 'One-click read', (762, 360, 418, 23)),
    button('pushButton_89', 'One-click write', (762, 380, 418, 23)),
]


def parameter_row(cap, field, read, write, field_node):
    """cap: (name, text, geometry); read/write: (name, geometry) or None."""
    out = [label(cap[0], cap[1], cap[2]), field_node]
    for b, caption in ((read, 'read'), (write, 'write')):
        if b:
            out.append(button(b[0], caption, b[1]))
    return out


def left_row(y, cap, caption, field, initial, read, write, h=23, cap_g=None, field_g=None, read_x=295):
    return parameter_row((cap, caption, cap_g or (1, y, 215, 17)), field,
                         (read, (read_x, y, 43, h)), write and (write, (340, y, 49, h)),
                         line_edit(field, initial, field_g or (215, y, 81, 19)))


LEFT_BLOCK = sum([
    left_row(464, 'label_23', 'Float charge voltage(V)', 'lineEdit', '000.0', 'pushButton', 'pushButton_8', 22),
    left_row(486, 'label_26', 'Absorb charge voltage(V)', 'lineEdit_2', '000.0', 'pushButton_4', 'pushButton_7'),
    left_row(508, 'label_21', 'Equalize charge voltage(V)', 'lineEdit_3', '000.0', 'pushButton_2', 'pushButton_6'),
    left_row(530, 'label_30', 'Aborb charge time(M) ', 'lineEdit_4', '000', 'pushButton_3', 'pushButton_5'),
    left_row(552, 'label_28', 'Equalize charge time(M) ', 'lineEdit_5', '000', 'pushButton_9', 'pushButton_10'),
    left_row(574, 'label_22', 'Temperature compensation', 'lineEdit_6', '-0', 'pushButton_11', 'pushButton_12', 22),
    left_row(596, 'label_25', 'Lithium battery capacity(AH)', 'lineEdit_10', '0000.0',
             'pushButton_35', 'pushButton_36', 22, cap_g=(1, 596, 217, 17), field_g=(218, 596, 77, 19)),
    left_row(618, 'label_27', 'Lithium battery (CV)', 'lineEdit_11', '000.0', 'pushButton_43', 'pushButton_44', 22,
             cap_g=(2, 618, 151, 19), field_g=(214, 618, 83, 19), read_x=294),
    left_row(640, 'label_29', 'Charge limit(V)', 'lineEdit_9', '00.00', 'pushButton_33', None, 22,
             cap_g=(2, 640, 112, 19), field_g=(214, 640, 83, 19), read_x=294),
], [])

# Index 0 is what a read falls back to when the controller answers a code the
# list does not know.
SYSTEM_VOLTAGE_ITEMS = ['Unknow', 'Automatic', 'Fixed 12V', 'Fixed 24V', 'Fixed 36V', 'Fixed 48V']
BATTERY_TYPE_ITEMS = ['Unknow', 'Customize', 'GEL', 'FLD', 'SEAL', 'LI', 'LIP']
BAUD_RATE_ITEMS = ['Unknow', '4800', '9600', '14400', '19200', '38400', '43000', '57600', '76800', '115200']
LOAD_MODE_ITEMS = ['Unknow', 'Normal', 'Light time', 'Light']


def middle_row(y, cap, caption, width, read, write, field=None, initial=None, items=None, cap_y=None):
    field_node = (combo(field, items, (530, y, 110, 22)) if items
                  else line_edit(field, initial, (610, y, 61, 22)))
    return parameter_row((cap, caption, (395, cap_y or y, width, 21)), field,
                         (read, (670, y, 41, 23)), write and (write, (710, y, 45, 23)), field_node)


MIDDLE_BLOCK = sum([
    middle_row(400, 'label_31', 'Low voltage protection(V)', 197, 'pushButton_39', 'pushButton_40',
               'lineEdit_12', '000.0'),
    middle_row(420, 'label_35', 'Low voltage recovery(V)', 195, 'pushButton_41', 'pushButton_42',
               'lineEdit_13', '000.0'),
    middle_row(442, 'label_37', 'Over voltage protection(V)', 201, 'pushButton_47', None, 'lineEdit_16', '000.0'),
    middle_row(462, 'label_32', 'Over voltage recovery(V)', 199, 'pushButton_49', None, 'lineEdit_17', '000.0'),
    middle_row(486, 'label_42', 'System voltage:', 127, 'pushButton_76', 'pushButton_75',
               'comboBox_2', items=SYSTEM_VOLTAGE_ITEMS),
    middle_row(508, 'label_43', 'Battery type:', 109, 'pushButton_78', 'pushButton_77',
               'comboBox_3', items=BATTERY_TYPE_ITEMS, cap_y=510),
    middle_row(530, 'label_44', 'Baud rate:', 91, 'pushButton_87', 'pushButton_86',
               'comboBox_4', items=BAUD_RATE_ITEMS),
], [])

TOTALS_BUTTONS = [
    line('line_2', (392, 550, 367, 16), 'Horizontal'),
    button('pushButton_92', 'One-click delete', (395, 562, 250, 23)),
    node('QCheckBox', 'checkBox', [geom(658, 564, 107, 21), font(ARIAL), text('Enable all')]),
    button('pushButton_16', 'Remove the total power generation(KAh)', (395, 584, 357, 23)),
    button('pushButton_22', 'Remove the total power generation(WMh)', (395, 606, 357, 23)),
    button('pushButton_18', 'Clear the total release cable(KAh)', (395, 628, 357, 23)),
    button('pushButton_25', 'Clear the total release cable(MWh)', (395, 650, 357, 23)),
]


def right_row(cap, caption, cap_g, read_y, write_g, field, field_node):
    return parameter_row((cap, caption, cap_g), field, ('pushButton_' + str(read_y[0]), (1032, read_y[1], 41, 23)),
                         write_g and ('pushButton_' + str(write_g[0]), (write_g[1], write_g[2], 45, 23)), field_node)


RIGHT_BLOCK = sum([
    right_row('label_59', 'Load mode', (826, 402, 93, 21), (54, 400), (53, 1078, 400),
              'comboBox', combo('comboBox', LOAD_MODE_ITEMS, (924, 400, 106, 22))),
    right_row('label_50', 'Light on(V)', (826, 420, 107, 21), (68, 420), None,
              'lineEdit_29', line_edit('lineEdit_29', '000.0', (944, 420, 61, 22))),
    right_row('label_55', 'Light off(V)', (826, 440, 107, 21), (69, 440), None,
              'lineEdit_30', line_edit('lineEdit_30', '000.0', (944, 440, 61, 22))),
    right_row('label_62', 'Night time(M)', (824, 462, 117, 21), (56, 460), (55, 1080, 460),
              'lineEdit_19', line_edit('lineEdit_19', '0000', (944, 462, 61, 22))),
    right_row('label_56', 'Night time(M)', (824, 482, 119, 21), (57, 480), (58, 1080, 480),
              'lineEdit_20', line_edit('lineEdit_20', '0000', (944, 484, 61, 22))),
], [])

# Buttons that serve as status lamps; Load on/off and Reset are actions too.
LAMPS = [line('line_4', (762, 502, 417, 16), 'Horizontal')] + [
    button(name, caption, g) for name, caption, g in [
        ('pushButton_97', 'Self-check error', (762, 512, 418, 23)),
        ('pushButton_98', 'Parameter not calibration', (762, 534, 270, 23)),
        ('pushButton_99', 'Battery temperature', (762, 554, 270, 23)),
        ('pushButton_100', 'internal temperature', (762, 574, 270, 23)),
        ('pushButton_102', 'PV not connected', (762, 594, 270, 23)),
        ('pushButton_101', 'PV over', (762, 614, 270, 23)),
        ('pushButton_103', 'internal over hear', (762, 634, 270, 23)),
        ('pushButton_105', 'Battery Over', (762, 654, 270, 23)),
        ('pushButton_114', 'Short circut', (1040, 534, 141, 23)),
        ('pushButton_113', 'Over load', (1040, 554, 141, 23)),
        ('pushButton_104', 'Low voltage', (1040, 574, 141, 23)),
        ('pushButton_106', 'Load on', (1040, 596, 71, 40)),
        ('pushButton_107', 'Load off', (1110, 596, 71, 40)),
        ('pushButton_109', 'Reset', (1040, 634, 141, 23)),
        ('pushButton_108', 'Restart', (1040, 654, 141, 23)),
    ]]

BASIC_INFO_PAGE = (PICTURES + LIVE_VALUES + DEVICE_INFO + FRAME_BOXES + BLOCK_BUTTONS + LEFT_BLOCK
                   + MIDDLE_BLOCK + TOTALS_BUTTONS + RIGHT_BLOCK + LAMPS)


def grid(name, items):
    n = node('QGridLayout', name, [('spacing', 'number', 6)]
             + [(side + 'Margin', 'number', 11) for side in ('left', 'top', 'right', 'bottom')])
    n['layout_items'] = items   # [(row, column, widget node)]
    return n


def size(name, w, h):
    return (name, 'size', (w, h))


def policy(h, v):
    return ('sizePolicy', 'sizepolicy', (h, v))


CURVE_TAB = node('QWidget', 'tabCurve_view', attrs=[('title', 'Curve view')], children=[grid('gridLayout_2', [
    (0, 0, node('QCustomPlot', 'customplot', children=[
        label('label_84', 'Show the time(m):', (10, 640, 143, 21), TIMES),
        node('QLineEdit', 'lineEdit_72', [geom(138, 640, 51, 20), text('1000')]),
    ])),
])])

# The page is laid out for a tab bar about 26 px high; styles that draw taller
# tabs (Fusion: 37 px at this font) would push the lowest row of buttons
# under the status bar.
TAB_BAR_STYLE = 'QTabBar::tab { height: 26px; }'

TAB_WIDGET = node('QTabWidget', 'tabWidget', [
    size('minimumSize', 1190, 710), size('maximumSize', 1172, 16777215), font(ARIAL),
    ('styleSheet', 'string', TAB_BAR_STYLE), ('currentIndex', 'number', 1),
], [CURVE_TAB, node('QWidget', 'tabBase_info', attrs=[('title', 'Basic information')], children=BASIC_INFO_PAGE)])

MAIN_WINDOW = node('QMainWindow', 'MainWindow', [
    geom(0, 0, 1366, 768), policy('Fixed', 'Fixed'), size('minimumSize', 1366, 768),
    size('maximumSize', 1366, 768), ('windowTitle', 'string', 'MainWindow'),
], [
    node('QWidget', 'centralWidget', children=[
        node('QListWidget', 'listWidget', [
            ('enabled', 'bool', True), geom(9, 9, 150, 712), policy('Fixed', 'MinimumExpanding'),
            # Rows are SNnn: and a model text of up to 12 characters: in the
            # value fields' half-width face any 12 fit the 150 pixels.
            size('minimumSize', 150, 712), size('maximumSize', 150, 712), font(SONG),
        ]),
        node('QFrame', 'frame', [
            geom(165, 7, 1210, 730), policy('Preferred', 'Preferred'),
            ('frameShape', 'enum', 'QFrame::StyledPanel'), ('frameShadow', 'enum', 'QFrame::Raised'),
        ], [grid('gridLayout', [(0, 0, TAB_WIDGET)])]),
    ]),
    node('QMenuBar', 'menuBar', [geom(0, 0, 1366, 23)]),
    node('QStatusBar', 'statusBar'),
])

# --- XML writing -------------------------------------------------------------


def sub(parent, tag, value=None, **attrs):
    e = ET.SubElement(parent, tag, {k: str(v) for k, v in attrs.items()})
    if value is not None:
        e.text = str(value)
    return e


def write_color(parent, rgb):
    brush = sub(parent, 'brush', brushstyle='SolidPattern')
    c = sub(brush, 'color', alpha=255)
    for tag, v in zip(('red', 'green', 'blue'), rgb):
        sub(c, tag, v)


def write_value(prop, kind, value):
    if kind == 'rect':
        r = sub(prop, 'rect')
        for tag, v in zip(('x', 'y', 'width', 'height'), value):
            sub(r, tag, v)
    elif kind == 'size':
        s = sub(prop, 'size')
        sub(s, 'width', value[0])
        sub(s, 'height', value[1])
    elif kind == 'sizepolicy':
        p = sub(prop, 'sizepolicy', hsizetype=value[0], vsizetype=value[1])
        sub(p, 'horstretch', 0)
        sub(p, 'verstretch', 0)
    elif kind == 'font':
        f = sub(prop, 'font')
        sub(f, 'family', value[0])
        if value[1] is not None:
            sub(f, 'pointsize', value[1])
        sub(f, 'weight', 75)
        sub(f, 'bold', 'true')
    elif kind == 'palette':
        p = sub(prop, 'palette')
        for group_name, roles in value.items():
            g = sub(p, group_name)
            for role, rgb in roles:
                write_color(sub(g, 'colorrole', role=role), rgb)
    elif kind == 'bool':
        sub(prop, 'bool', 'true' if value else 'false')
    else:  # string, number, enum
        sub(prop, kind, value)


def write_props(elem, props):
    for name, kind, value in props:
        write_value(sub(elem, 'property', name=name), kind, value)


def write_node(parent, n):
    if 'layout_items' in n:
        e = sub(parent, 'layout', **{'class': n['cls'], 'name': n['name']})
        write_props(e, n['props'])
        for row, column, child in n['layout_items']:
            write_node(sub(e, 'item', row=row, column=column), child)
        return
    e = sub(parent, 'widget', **{'class': n['cls'], 'name': n['name']})
    write_props(e, n['props'])
    for name, value in n['attrs']:
        sub(sub(e, 'attribute', name=name), 'string', value)
    for item in n.get('items', ()):
        sub(sub(sub(e, 'item'), 'property', name='text'), 'string', item)
    for child in n['children']:
        write_node(e, child)


def build_ui():
    ui = ET.Element('ui', version='4.0')
    sub(ui, 'class', 'MainWindow')
    write_node(ui, MAIN_WINDOW)
    sub(ui, 'layoutdefault', spacing=6, margin=11)
    cw = sub(sub(ui, 'customwidgets'), 'customwidget')
    sub(cw, 'class', 'QCustomPlot')
    sub(cw, 'extends', 'QWidget')
    sub(cw, 'header', 'qcustomplot.h', location='global')
    sub(cw, 'container', 1)
    sub(sub(ui, 'resources'), 'include', location='../../resources/resources.qrc')
    sub(ui, 'connections')
    ET.indent(ui, space=' ')
    return ET.tostring(ui, encoding='unicode')


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_OUT
    with open(out, 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n' + build_ui() + '\n')


if __name__ == '__main__':
    main()
