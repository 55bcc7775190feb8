#!/usr/bin/env python3
# Writes the toolbar icons (16 x 16 symbolic SVGs, one per toolbar action) into this folder:
#   python3 resources/icons/toolbar/draw_icons.py
# Draws the toolbar icons as filled outlines only (GTK 4.8 recolours symbolic icons by forcing the fill of
# path, rect and circle; strokes would not follow the theme).
import math, os, sys
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
W = 1.5  # line weight at 16 px
C = '#2e3436'

def f(v): return ('%.2f' % v).rstrip('0').rstrip('.')

def poly(pts):
    return '<path d="M' + ' L'.join(f(x) + ',' + f(y) for x, y in pts) + ' Z"/>'

def seg(x1, y1, x2, y2, w=W, caps=True):
    dx, dy = x2 - x1, y2 - y1
    l = math.hypot(dx, dy); nx, ny = -dy / l * w / 2, dx / l * w / 2
    out = [poly([(x1 + nx, y1 + ny), (x2 + nx, y2 + ny), (x2 - nx, y2 - ny), (x1 - nx, y1 - ny)])]
    if caps:
        out += [dot(x1, y1, w / 2), dot(x2, y2, w / 2)]
    return ''.join(out)

def dot(cx, cy, r): return '<circle cx="%s" cy="%s" r="%s"/>' % (f(cx), f(cy), f(r))

def ell(cx, cy, rx, ry, a0, a1, n=28):
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]

def band(cx, cy, rx, ry, a0, a1, w=W):
    # A thick elliptical arc from angle a0 to a1 (degrees, y down), as one polygon.
    outer = ell(cx, cy, rx + w / 2, ry + w / 2, a0, a1)
    inner = ell(cx, cy, rx - w / 2, ry - w / 2, a0, a1)[::-1]
    return poly(outer + inner)

def ring(cx, cy, rx, ry=None, w=W):
    ry = rx if ry is None else ry
    o, i = rx + w / 2, ry + w / 2
    p, q = rx - w / 2, ry - w / 2
    d = ('M%s,%s a%s,%s 0 1,0 %s,0 a%s,%s 0 1,0 %s,0 Z ' % (f(cx - o), f(cy), f(o), f(i), f(2 * o), f(o), f(i), f(-2 * o)) +
         'M%s,%s a%s,%s 0 1,0 %s,0 a%s,%s 0 1,0 %s,0 Z' % (f(cx - p), f(cy), f(p), f(q), f(2 * p), f(p), f(q), f(-2 * p)))
    return '<path fill-rule="evenodd" d="%s"/>' % d

def box(x, y, w, h, t=W):
    # A rectangle outline whose line is centred on the given edges.
    x0, y0, x1, y1 = x - t / 2, y - t / 2, x + w + t / 2, y + h + t / 2
    xi0, yi0, xi1, yi1 = x + t / 2, y + t / 2, x + w - t / 2, y + h - t / 2
    d = 'M%s,%sH%sV%sH%sZ M%s,%sH%sV%sH%sZ' % (f(x0), f(y0), f(x1), f(y1), f(x0),
                                                f(xi0), f(yi0), f(xi1), f(yi1), f(xi0))
    return '<path fill-rule="evenodd" d="%s"/>' % d

def rect(x, y, w, h): return '<rect x="%s" y="%s" width="%s" height="%s"/>' % (f(x), f(y), f(w), f(h))

def arrow(x1, y1, x2, y2, head=3.2):
    dx, dy = x2 - x1, y2 - y1; l = math.hypot(dx, dy); ux, uy = dx / l, dy / l
    bx, by = x2 - ux * head, y2 - uy * head
    return seg(x1, y1, bx + ux * 0.5, by + uy * 0.5, caps=False) + dot(x1, y1, W / 2) + poly(
        [(x2, y2), (bx - uy * head * 0.75, by + ux * head * 0.75), (bx + uy * head * 0.75, by - ux * head * 0.75)])

# ---- glyphs ----
def cylinder(x, y, w, h):
    rx = w / 2; ry = max(1.3, h * 0.17); cx = x + rx
    return (ring(cx, y + ry, rx, ry) + seg(x, y + ry, x, y + h - ry, caps=False) +
            seg(x + w, y + ry, x + w, y + h - ry, caps=False) + band(cx, y + h - ry, rx, ry, 0, 180) +
            band(cx, y + h / 2, rx, ry, 10, 170))

def chip(x, y, w, h):
    out = box(x, y, w, h)
    n = 3
    for i in range(n):
        py = y + h * (i + 1) / (n + 1)
        out += seg(x - 2, py, x, py, w=1.2, caps=False) + seg(x + w, py, x + w + 2, py, w=1.2, caps=False)
    return out + dot(x + 2.2, y + 2.2, 0.9)

def ibutton(cx, cy, r):
    return ring(cx, cy, r) + ring(cx, cy, r * 0.5, w=1.2)

def key():
    # A horizontal key across the upper half: ring head on the left, shaft, two teeth pointing down.
    return (ring(4, 5, 2.8) + seg(6.8, 5, 14.2, 5) + seg(11.2, 5, 11.2, 7.6) + seg(14.2, 5, 14.2, 8.2))

def magnifier(cx, cy, r, hl):
    return ring(cx, cy, r) + seg(cx + r * 0.75, cy + r * 0.75, cx + r * 0.75 + hl, cy + r * 0.75 + hl, w=2)

def plus(cx, cy, s=2.6):
    return seg(cx - s, cy, cx + s, cy) + seg(cx, cy - s, cx, cy + s)

def minus(cx, cy, s=2.6): return seg(cx - s, cy, cx + s, cy)

def cross(cx, cy, s=2.2):
    return seg(cx - s, cy - s, cx + s, cy + s) + seg(cx - s, cy + s, cx + s, cy - s)

def check(cx, cy):
    return seg(cx - 2.6, cy, cx - 0.8, cy + 2) + seg(cx - 0.8, cy + 2, cx + 2.8, cy - 2.2)

def document(x, y, w, h, fold=3):
    return (seg(x, y, x + w - fold, y) + seg(x + w - fold, y, x + w, y + fold) + seg(x + w, y + fold, x + w, y + h) +
            seg(x + w, y + h, x, y + h) + seg(x, y + h, x, y))

ICONS = {
    'close': cylinder(1.5, 1.5, 9, 13) + cross(12.2, 12.2),
    'save': (seg(2, 2, 11.5, 2) + seg(11.5, 2, 14, 4.5) + seg(14, 4.5, 14, 14) + seg(14, 14, 2, 14) + seg(2, 14, 2, 2) +
             box(5, 2, 5.5, 3.5) + box(4.5, 9, 7, 5, t=1.2)),
    'delete': (seg(2, 3.5, 14, 3.5) + box(6, 1.2, 4, 2.3, t=1.2) + seg(3.5, 3.5, 4.5, 14.2) + seg(4.5, 14.2, 11.5, 14.2) +
               seg(11.5, 14.2, 12.5, 3.5) + seg(6.6, 6.5, 6.8, 11.5, w=1.2) + seg(9.4, 6.5, 9.2, 11.5, w=1.2)),
    'find-in-files': (document(1.5, 1.5, 8, 10, 2.5) + seg(4, 4.5, 6, 4.5, w=1.2) + seg(4, 7, 6, 7, w=1.2) +
                      magnifier(10.2, 10.2, 2.7, 2.6)),
    'mode_search': key() + magnifier(6.5, 11.6, 2.4, 2.2),
    'mode_add': key() + plus(6.5, 12.2),
    'mode_delete': key() + minus(6.5, 12.2),
    'ds1996_prepare': ibutton(6.5, 6.5, 5) + check(12.4, 12.6),
    'ds1996_from_db': cylinder(1, 1, 7, 9.5) + ibutton(11.6, 11.6, 3.4) + arrow(9.8, 2.6, 13.6, 6.2),
    'ds1996_to_db': ibutton(4.4, 11.6, 3.4) + cylinder(8, 1, 7, 9.5) + arrow(2.4, 5.6, 6.2, 2.0),
    'q4t_clear': chip(3, 1.5, 8, 10) + cross(12.6, 12.6, 2),
    'q4t_from_db': cylinder(1, 1, 6.5, 9) + chip(10, 8, 4.5, 6.5) + arrow(9, 2.5, 13.2, 5.6),
    'q4t_to_db': chip(2, 8, 4.5, 6.5) + cylinder(8.5, 1, 6.5, 9) + arrow(2.8, 5.6, 7, 2.5),
    'cut': (ring(4.3, 12, 2.2) + ring(11.7, 12, 2.2) + seg(5.6, 10.2, 11.2, 1.5) + seg(10.4, 10.2, 4.8, 1.5)),
    'copy': (box(5.5, 5.5, 8.5, 8.5) + seg(2, 10.5, 2, 2) + seg(2, 2, 10.5, 2)),
    'paste': (seg(4.5, 3, 2.5, 3) + seg(2.5, 3, 2.5, 14.5) + seg(2.5, 14.5, 13.5, 14.5) + seg(13.5, 14.5, 13.5, 3) +
              seg(13.5, 3, 11.5, 3) + box(5.5, 1.5, 5, 3, t=1.3) + seg(5.5, 8, 10.5, 8, w=1.2) + seg(5.5, 11, 9, 11, w=1.2)),
}

os.makedirs(OUT, exist_ok=True)
for name, body in ICONS.items():
    with open(os.path.join(OUT, name + '.svg'), 'w') as fh:
        fh.write('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">\n'
                 '<g fill="%s">%s</g>\n</svg>\n' % (C, body))
print(len(ICONS))
