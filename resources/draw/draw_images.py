#!/usr/bin/env python3
"""Draws the program's pictures as SVG and renders them to the PNGs the
resource file ships (lamps, energy-flow pictures, application icon).

    resources/draw/draw_images.py

Needs g++, pkg-config, qtbase5-dev and Qt's SVG image plugin (libqt5svg5):
a tiny Qt program (render_svg.cpp) renders each drawing at its final size.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.dirname(HERE)

OUTLINE = '#2b2b2b'


def svg(width, height, body, defs=''):
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            f'width="{width}" height="{height}" viewBox="0 0 {width} {height}">\n'
            f'<defs>\n{defs}</defs>\n{body}</svg>\n')


def linear(id_, x1, y1, x2, y2, stops):
    s = ''.join(f'<stop offset="{o}" stop-color="{c}"/>' for o, c in stops)
    return (f'<linearGradient id="{id_}" gradientUnits="userSpaceOnUse" '
            f'x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}">{s}</linearGradient>\n')


def radial(id_, cx, cy, r, fx, fy, stops):
    s = ''.join(f'<stop offset="{o}" stop-color="{c}"/>' for o, c in stops)
    return (f'<radialGradient id="{id_}" gradientUnits="userSpaceOnUse" '
            f'cx="{cx}" cy="{cy}" r="{r}" fx="{fx}" fy="{fy}">{s}</radialGradient>\n')


def polygon(points, fill, stroke='none', width=0, extra=''):
    pts = ' '.join(f'{x:.2f},{y:.2f}' for x, y in points)
    return (f'<polygon points="{pts}" fill="{fill}" stroke="{stroke}" stroke-width="{width}" '
            f'stroke-linejoin="round" {extra}/>\n')


# --- lamps -------------------------------------------------------------------
# Shown at 16x16 with nearest-pixel scaling: a thick dark rim and a large,
# soft highlight survive that; fine detail would not.
LAMP_COLOURS = {
    'gray': ('#f2f2f2', '#a3a3a3', '#5e5e5e'),
    'green': ('#d4ffc4', '#2fd12f', '#0a6b0a'),
    'red': ('#ffd0c4', '#e82a1e', '#7d0a06'),
}


def lamp(light, mid, dark):
    defs = (radial('body', 32, 32, 27, 25, 22, [(0, light), (0.55, mid), (1, dark)])
            + linear('rim', 0, 2, 0, 62, [(0, '#8c8c8c'), (1, '#1a1a1a')])
            + linear('shine', 0, 8, 0, 32, [(0, '#ffffff'), (1, mid)]))
    body = ('<circle cx="32" cy="32" r="31" fill="url(#rim)"/>\n'
            '<circle cx="32" cy="32" r="25.5" fill="url(#body)"/>\n'
            '<ellipse cx="32" cy="21" rx="15" ry="9.5" fill="url(#shine)" fill-opacity="0.75"/>\n')
    return svg(64, 64, body, defs)


# --- arrows ------------------------------------------------------------------
ARROW_STOPS = [(0, '#ffd27a'), (0.5, '#ffa21f'), (1, '#e06a00')]


def right_arrow(w=120, h=72):
    mid, shaft, head_x = h / 2, h * 0.19, w * 0.58
    pts = [(4, mid - shaft), (head_x, mid - shaft), (head_x, 5), (w - 4, mid),
           (head_x, h - 5), (head_x, mid + shaft), (4, mid + shaft)]
    defs = linear('fill', 0, 0, 0, h, ARROW_STOPS)
    return svg(w, h, polygon(pts, 'url(#fill)', '#9a4a00', 3), defs)


def down_arrow(w=96, h=80):
    mid, shaft, head_y = w / 2, w * 0.16, h * 0.45
    pts = [(mid - shaft, 4), (mid + shaft, 4), (mid + shaft, head_y), (w - 6, head_y),
           (mid, h - 4), (6, head_y), (mid - shaft, head_y)]
    defs = linear('fill', 0, 0, w, 0, ARROW_STOPS)
    return svg(w, h, polygon(pts, 'url(#fill)', '#9a4a00', 3), defs)


# --- solar panel -----------------------------------------------------------------
def bilinear(quad, u, v):
    (ax, ay), (bx, by), (cx, cy), (dx, dy) = quad   # top-left, top-right, bottom-right, bottom-left
    top = (ax + (bx - ax) * u, ay + (by - ay) * u)
    bottom = (dx + (cx - dx) * u, dy + (cy - dy) * u)
    return top[0] + (bottom[0] - top[0]) * v, top[1] + (bottom[1] - top[1]) * v


def panel(quad, rows, cols, gap=0.012):
    """A framed panel of rows x cols cells on the quadrilateral quad."""
    inner_margin = 0.035
    out = polygon(quad, '#d5dbe3', OUTLINE, 2.5)
    inner = [bilinear(quad, u, v) for u, v in ((inner_margin, inner_margin), (1 - inner_margin, inner_margin),
                                              (1 - inner_margin, 1 - inner_margin),
                                              (inner_margin, 1 - inner_margin))]
    out += polygon(inner, '#eef2f7')
    for r in range(rows):
        for c in range(cols):
            u0, u1 = c / cols + gap, (c + 1) / cols - gap
            v0, v1 = r / rows + gap, (r + 1) / rows - gap
            cell = [bilinear(inner, u, v) for u, v in ((u0, v0), (u1, v0), (u1, v1), (u0, v1))]
            out += polygon(cell, 'url(#cells)')
    # a band of sky reflected across the glass
    glare = [bilinear(inner, u, v) for u, v in ((0.30, 0), (0.55, 0), (0.25, 1), (0.0, 1))]
    out += polygon(glare, '#ffffff', extra='fill-opacity="0.16"')
    return out


def sun(cx, cy, r, rays=12):
    import math
    out = ''
    for i in range(rays):
        a = 2 * math.pi * i / rays
        x1, y1 = cx + math.cos(a) * r * 1.3, cy + math.sin(a) * r * 1.3
        x2, y2 = cx + math.cos(a) * r * 1.75, cy + math.sin(a) * r * 1.75
        out += (f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" stroke="#f7b500" '
                f'stroke-width="{r * 0.28:.1f}" stroke-linecap="round"/>\n')
    return out + f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="url(#sun)" stroke="#e69500" stroke-width="1.5"/>\n'


def solar_panel():
    defs = (linear('cells', 20, 20, 110, 100, [(0, '#4d86e8'), (0.5, '#1f4fae'), (1, '#0b2760')])
            + radial('sun', 106, 18, 13, 102, 14, [(0, '#fffbd0'), (0.6, '#ffd84a'), (1, '#ffb300')]))
    body = sun(106, 18, 12)
    body += ('<line x1="40" y1="96" x2="34" y2="122" stroke="#5b6470" stroke-width="5" stroke-linecap="round"/>\n'
             '<line x1="90" y1="96" x2="96" y2="122" stroke="#5b6470" stroke-width="5" stroke-linecap="round"/>\n'
             '<line x1="22" y1="123" x2="108" y2="123" stroke="#5b6470" stroke-width="3" stroke-linecap="round"/>\n')
    body += panel([(24, 30), (96, 30), (122, 98), (6, 98)], 4, 6)
    return svg(128, 128, body, defs)


# --- charge controller ---------------------------------------------------------
SEGMENTS = {  # seven-segment digits: a b c d e f g
    '0': 'abcdef', '1': 'bc', '2': 'abdeg', '3': 'abcdg', '4': 'bcfg', '5': 'acdfg',
    '6': 'acdefg', '7': 'abc', '8': 'abcdefg', '9': 'abcdfg',
}


def seven_segment(x, y, w, h, digit, colour):
    t = w * 0.2   # stroke thickness
    half = h / 2
    bars = {
        'a': (x + t, y, w - 2 * t, t), 'g': (x + t, y + half - t / 2, w - 2 * t, t),
        'd': (x + t, y + h - t, w - 2 * t, t),
        'f': (x, y + t * 0.6, t, half - t * 0.6), 'b': (x + w - t, y + t * 0.6, t, half - t * 0.6),
        'e': (x, y + half, t, half - t * 0.6), 'c': (x + w - t, y + half, t, half - t * 0.6),
    }
    return ''.join(f'<rect x="{bx:.1f}" y="{by:.1f}" width="{bw:.1f}" height="{bh:.1f}" rx="0.8" '
                   f'fill="{colour}"/>\n' for s, (bx, by, bw, bh) in bars.items() if s in SEGMENTS[digit])


def controller():
    defs = (linear('case', 0, 8, 0, 120, [(0, '#f4f6f9'), (1, '#a9b3bf')])
            + linear('band', 0, 10, 0, 34, [(0, '#2f6dbd'), (1, '#163c72')])
            + linear('lcd', 0, 40, 0, 72, [(0, '#254f36'), (1, '#10291b')])
            + linear('block', 0, 92, 0, 116, [(0, '#4a4f57'), (1, '#22252a')]))
    body = ('<rect x="12" y="8" width="104" height="112" rx="10" fill="url(#case)" stroke="#3d4652" '
            'stroke-width="2.5"/>\n'
            '<rect x="16" y="12" width="96" height="22" rx="6" fill="url(#band)"/>\n')
    # heat-sink slots in the top band
    body += ''.join(f'<rect x="{x}" y="17" width="4" height="12" rx="2" fill="#0e2a52"/>\n'
                    for x in range(24, 106, 9))
    body += '<rect x="26" y="40" width="76" height="32" rx="3" fill="url(#lcd)" stroke="#1b1f24" stroke-width="2"/>\n'
    lit = '#8dff86'
    for i, d in enumerate('138'):
        body += seven_segment(34 + i * 16 + (6 if i == 2 else 0), 45, 11, 22, d, lit)
    body += f'<rect x="63" y="64" width="3.5" height="3.5" fill="{lit}"/>\n'            # decimal point
    body += (f'<polyline points="86,53 91,66 96,53" fill="none" stroke="{lit}" stroke-width="2.2" '
             f'stroke-linejoin="round"/>\n')                                           # unit: volts
    for x, c in ((44, '#37d12f'), (64, '#ffc21f'), (84, '#e8321e')):                   # status LEDs
        body += f'<circle cx="{x}" cy="82" r="4.5" fill="{c}" stroke="#333" stroke-width="1.2"/>\n'
    body += '<rect x="18" y="92" width="92" height="22" rx="3" fill="url(#block)"/>\n'
    for i, mark in enumerate(('#e8321e', '#111', '#e8321e', '#111', '#e8321e', '#111')):  # screw terminals
        x = 26 + i * 15.2
        body += (f'<circle cx="{x:.1f}" cy="103" r="5.2" fill="#c9ced6" stroke="{mark}" stroke-width="1.8"/>\n'
                 f'<line x1="{x - 3:.1f}" y1="103" x2="{x + 3:.1f}" y2="103" stroke="#444" stroke-width="1.6"/>\n')
    return svg(128, 128, body, defs)


# --- load (a lit bulb) -------------------------------------------------------------
def bulb():
    import math
    defs = (radial('glass', 64, 48, 38, 56, 36, [(0, '#fffde6'), (0.45, '#ffe45c'), (1, '#f5a300')])
            + linear('base', 46, 0, 82, 0, [(0, '#7d8591'), (0.45, '#e3e7ec'), (1, '#6b727d')]))
    body = ''
    for i in range(9):   # rays over the upper half
        a = math.pi * (0.9 + 1.2 * i / 8)
        x1, y1 = 64 + math.cos(a) * 44, 46 + math.sin(a) * 44
        x2, y2 = 64 + math.cos(a) * 58, 46 + math.sin(a) * 58
        body += (f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" stroke="#ffbf00" '
                 f'stroke-width="5" stroke-linecap="round"/>\n')
    body += ('<path d="M 48,84 C 46,72 28,64 28,46 A 36,36 0 1 1 100,46 C 100,64 82,72 80,84 Z" '
             'fill="url(#glass)" stroke="#b57600" stroke-width="2.5" stroke-linejoin="round"/>\n'
             '<path d="M 54,82 L 58,58 L 62,66 L 66,58 L 70,66 L 74,58 L 76,82" fill="none" stroke="#d35400" '
             'stroke-width="2.2" stroke-linejoin="round" stroke-linecap="round"/>\n'
             '<rect x="46" y="84" width="36" height="24" rx="3" fill="url(#base)" stroke="#3d4248" stroke-width="2"/>\n')
    for y in (91, 98):   # screw thread
        body += f'<line x1="47" y1="{y}" x2="81" y2="{y + 3}" stroke="#4a5058" stroke-width="2"/>\n'
    body += '<path d="M 54,108 L 74,108 L 70,118 L 58,118 Z" fill="#2d3136"/>\n'
    return svg(128, 128, body, defs)


# --- battery ---------------------------------------------------------------------
def battery():
    defs = (linear('shell', 0, 26, 0, 102, [(0, '#5d6776'), (0.5, '#374151'), (1, '#1b2230')])
            + linear('charge', 0, 36, 0, 92, [(0, '#a6f58f'), (0.5, '#3fc33a'), (1, '#1f7f1f')]))
    body = ('<rect x="108" y="48" width="13" height="32" rx="3" fill="#9aa3ad" stroke="#1b1f24" stroke-width="2"/>\n'
            '<rect x="6" y="26" width="104" height="76" rx="10" fill="url(#shell)" stroke="#111418" '
            'stroke-width="3"/>\n'
            '<rect x="14" y="34" width="88" height="60" rx="4" fill="#10151d"/>\n')
    for i in range(4):
        fill = 'url(#charge)' if i < 3 else '#2a323d'
        body += f'<rect x="{18 + i * 21}" y="38" width="17" height="52" rx="2.5" fill="{fill}"/>\n'
    # minus on the left, plus next to the positive terminal
    body += ('<rect x="22" y="10" width="16" height="5" fill="#333"/>\n'
             '<rect x="82" y="10" width="16" height="5" fill="#e8321e"/>'
             '<rect x="87.5" y="4.5" width="5" height="16" fill="#e8321e"/>\n')
    return svg(128, 128, body, defs)


# --- application icon -------------------------------------------------------------
def app_icon():
    defs = (linear('sky', 0, 0, 0, 256, [(0, '#6cc3ff'), (1, '#1d5fae')])
            + linear('cells', 40, 110, 200, 230, [(0, '#4d86e8'), (0.5, '#1f4fae'), (1, '#0b2760')])
            + radial('sun', 186, 66, 34, 176, 56, [(0, '#fffbd0'), (0.6, '#ffd84a'), (1, '#ffb300')])
            + linear('bolt', 0, 120, 0, 240, [(0, '#c8ff7a'), (1, '#2fb32f')]))
    body = '<rect x="8" y="8" width="240" height="240" rx="44" fill="url(#sky)"/>\n'
    body += sun(186, 66, 32)
    body += panel([(58, 118), (190, 118), (232, 214), (18, 214)], 3, 5)
    body += polygon([(150, 130), (112, 186), (136, 186), (118, 240), (170, 168), (144, 168), (164, 130)],
                    'url(#bolt)', '#145c14', 4)
    return svg(256, 256, body, defs)


# (svg text, output path relative to resources/, width, height)
def drawings():
    out = [(lamp(*LAMP_COLOURS[c]), f'Images/64X64/{c}64x64.png', 64, 64) for c in ('gray', 'green', 'red')]
    out += [
        (solar_panel(), 'Images/128X128/PV1.png', 128, 128),
        (controller(), 'Images/128X128/1234.png', 128, 128),
        (bulb(), 'Images/128X128/load1.png', 128, 128),
        (battery(), 'Images/128X128/Battery1.png', 128, 128),
        (right_arrow(), 'Images/4.png', 120, 72),
        (down_arrow(), 'Images/2.png', 96, 80),
        (app_icon(), 'icons/solar-monitor.png', 256, 256),
    ]
    return out


def build_renderer(workdir):
    exe = os.path.join(workdir, 'render_svg')
    flags = subprocess.run(['pkg-config', '--cflags', '--libs', 'Qt5Gui'], check=True,
                           capture_output=True, text=True).stdout.split()
    subprocess.run(['g++', '-std=c++17', '-fPIC', '-O1', os.path.join(HERE, 'render_svg.cpp'), '-o', exe] + flags,
                   check=True)
    return exe


def main():
    with tempfile.TemporaryDirectory() as work:
        renderer = build_renderer(work)
        args = []
        for i, (text, target, w, h) in enumerate(drawings()):
            src = os.path.join(work, f'{i}.svg')
            with open(src, 'w', encoding='utf-8') as f:
                f.write(text)
            out = os.path.join(RESOURCES, target)
            os.makedirs(os.path.dirname(out), exist_ok=True)
            args += [src, out, str(w), str(h)]
            if target.startswith('icons/'):   # the desktop entry may use the vector form too
                with open(os.path.splitext(out)[0] + '.svg', 'w', encoding='utf-8') as f:
                    f.write(text)
        env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
        subprocess.run([renderer] + args, check=True, env=env)
    for _, target, w, h in drawings():
        print(f'{target} {w}x{h}')


if __name__ == '__main__':
    sys.exit(main())
