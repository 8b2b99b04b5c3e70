#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The sources are the bundled examples and small programs of the kinds the
test suite compiles (every statement, directive and menu form, and typical
errors); the bitmaps cover both header kinds, short colour tables and the
files the compiler must refuse. Run it again after changing the seeds; the
files it writes are kept in the repository. The module inspector's seeds are
modules compiled from the other seeds, so they need a built compiler:

    fuzz/make_corpus.py build/oxbuild
"""
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile

FUZZ = pathlib.Path(__file__).resolve().parent
ROOT = FUZZ.parent

COMPILE_SEEDS = {
    "overview": "int count;\nOnLoad(int &result)\n{\n    count = 1;\n    result = 0;\n}\n",
    "while_loop": "f(int a) { while (a > 0) { a = a - 1; } }\n",
    "if_chain": (
        "int g;\nf(int a, uint b)\n{\n    if (a) { g = 1; } elseif (b > 2) { g = 2; }\n"
        "    else if (a == b) { g = 3; } else { g = 4; }\n}\n"
    ),
    "loops": (
        "f(int n)\n{\n    int i;\n    i = 0;\n    while (i < n) {\n        i = i + 1;\n"
        "        if (i % 2) { continue; }\n        if (i > 10) { break; }\n    }\n    return;\n}\n"
    ),
    "expressions": (
        "int a, b; uint c;\nf()\n{\n    a = (b + 2) * c - -5 % 3;\n    b = a << 2 >> 1 | a & b ^ ~c;\n"
        "    c = !a && b || a <= b || a >= b || a != b || a == b;\n    a = #-b + #+c + 0x1F + 017 + 4294967295;\n}\n"
    ),
    "calls": (
        "str s;\nint n;\ng(int x, str &t);\nf()\n{\n    strcpy(s, \"a\" \"b\");\n"
        "    MessageBox(\"Hi\\n\\x41\", 0, n);\n    strlen(n, s);\n    g(n + 1, s);\n    ClearPattern();\n    GetTime(n, n, n, n, n, n, n);\n}\n"
        "g(int x, str &t) { strcat(t, \"!\"); }\n"
    ),
    "events": (
        "OnUnload() { }\nOnInterval() { SetInterval(1000); }\nOnClick(int x, int y, int k) { OnClick(x, y, k); }\n"
        "OnMenuItemSelected(int m, int i) { PopupMenu(m); }\nOnTargetMoved() { }\n"
    ),
    "parameters": "f(int, int b, str &s, uint &u, str t) { int b2; { int b2; } }\n",
    "nested_blocks": "f() { { { { if (1) { while (0) { } } } } } }\n",
    "comments": "/* a /* b */ int x; // line\nf() { x = 1; /*/ still */ }\n",
    "errors": "int a;\n$ stray;\nf() { a = ; b = 1; strlen(a, 5); x += 1; }\n}\n",
    "unclosed": "f() { if (1) { \n",
    "define": "#define integer int\n#define MAX 100\ninteger a;\nf() { a = MAX; }\n",
    "text_fields": "#module \"Clock\"\n#copyright \"(c)\"\n#version \"1.0\"\n#comment \"a \\\"desk\\\" clock\"\n",
    "crlf": "int x;\r\nf()\r\n{\r\n    x = 1;\r\n}\r\n",
    "end_of_file_mark": "int x;\nf() { x = 1; }\n\x1a garbage",
}

DIRECTIVE_SEEDS = {
    "define": "#define A B\n#define B 5\n#define A 2\n#define A 3\nint A;\n",
    "define_errors": "#define X -1\n#define\n#define Y\n# define Z 1 trailing\n",
    "text_fields": "#module \"m\"\n#module \"again\"\n#copyright \"c\"\n#version \"12345678901234567\"\n#comment \"\"\n",
    "include": "#include \"inc.oxs\"\n#include \"inc.oxs\" // twice\n#include \"missing.oxs\"\n#include nofile\n",
    "bitmaps": "#bitmap 1 \"a.bmp\" 0\n#bitmap 2 \"b.bmp\" 300\n#bitmap 1 \"a.bmp\" -1\n#bitmap 3 \"missing.bmp\" 0\n",
    "waves": "#wave 1 \"w.wav\"\n#wave 2 \"w.wav\"\n#wave 2 \"short.wav\"\n#wave 3 \"missing.wav\"\n",
    "menu": (
        "#menu 1 {\n  POPUP \"File\" {\n    MENUITEM \"Open\", 1, 0\n    MENUITEM \"Quit\"\n      , 2, -1\n  }\n"
        "  POPUP \"Empty\" { }\n  MENUITEM \"Top\", 100, 0x7FFFFFFF\n  other words\n}\n"
    ),
    "menu_nested": "#menu 0 { POPUP \"a\" { POPUP \"b\" { POPUP \"c\" { MENUITEM \"d\", 3, 4 } } } }\n#menu 100 { }\n",
    "menu_errors": "#menu 101 { MENUITEM \"x\" 1, 2 }\n#menu -1 { POPUP \"p\" }\n#menu 5 { MENUITEM \"y\", 1,\n 2 }\n",
    "defined_menu_words": "#define P POPUP\n#define M MENUITEM\n#define ID 7\n#menu ID { P \"p\" { M \"m\", ID, ID } }\n",
    "all": (
        "#module \"All\"\n#include \"inc.oxs\"\n#bitmap 1 \"a.bmp\" 0\n#wave 1 \"w.wav\"\n"
        "#menu 2 { MENUITEM \"x\", 1, 2 }\nOnLoad(int &r) { PlayWave(1); r = 1; }\n"
    ),
}


def bitmap(width, height, colours_used=0, bits=8, compression=0, core=False, tint=0, pixels=None):
    """An uncompressed BMP file; pixels cycle through the colour table."""
    colours = 256 if core or colours_used == 0 else min(colours_used, 256)
    stride = (width + 3) & ~3
    if pixels is None:
        pixels = bytes(i % colours for i in range(stride * abs(height)))
    if core:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
        table = b"".join(bytes(((i * 3 + tint) & 255, (i * 5) & 255, (i * 7) & 255)) for i in range(colours))
    else:
        header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(pixels), 2835, 2835,
                             colours_used, 0)
        table = b"".join(bytes(((i * 3 + tint) & 255, (i * 5) & 255, (i * 7) & 255, 0)) for i in range(colours))
    body = header + table + pixels
    return b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, 14 + len(header) + len(table)) + body


BITMAP_SEEDS = {
    "info_256": bitmap(4, 4),
    "info_16_colours": bitmap(5, 3, colours_used=16),
    "info_2_colours": bitmap(1, 1, colours_used=2, tint=40),
    "core_header": bitmap(3, 2, core=True),
    "wide_row": bitmap(33, 1, colours_used=4),
    "24_bit": bitmap(2, 2, colours_used=1, bits=24),
    "compressed": bitmap(2, 2, colours_used=4, compression=1),
    "top_down": bitmap(2, -2, colours_used=4),
    "too_many_colours": bitmap(2, 2, colours_used=300),
    "short_pixels": bitmap(8, 8, colours_used=4)[:-20],
    "no_bm": b"XX" + bitmap(2, 2, colours_used=4)[2:],
    "header_only": bitmap(2, 2, colours_used=4)[:30],
}


def write_corpus(target, seeds):
    directory = FUZZ / "corpus" / target
    directory.mkdir(parents=True, exist_ok=True)
    for name, data in seeds.items():
        payload = data.encode("latin-1") if isinstance(data, str) else data
        (directory / name).write_bytes(payload)


# The files fuzz_directives places beside its source (as fuzz_directives.cpp
# writes them).
DIRECTIVE_FILES = {
    "inc.oxs": b"#define LIMIT 100\n#define ITEM MENUITEM\n#menu 7 { POPUP \"p\" { ITEM \"i\", 1, LIMIT } }\n",
    "w.wav": b"RIFF\x04\0\0\0WAVE",
    "short.wav": b"RI",
    "a.bmp": bitmap(3, 2, colours_used=4),
    "b.bmp": bitmap(5, 1, colours_used=16, tint=9),
}


def compile_modules(oxbuild, sources):
    """The modules that the compiler makes from the sources that compile."""
    modules = {}
    with tempfile.TemporaryDirectory() as directory:
        work = pathlib.Path(directory)
        for name, data in DIRECTIVE_FILES.items():
            (work / name).write_bytes(data)
        for name, data in sources.items():
            source = work / "prog.oxs"
            source.write_bytes(data.encode("latin-1") if isinstance(data, str) else data)
            subprocess.run([oxbuild, str(source)], stdout=subprocess.DEVNULL, check=False)
            module = work / "prog.oxb"
            if module.exists():
                modules[name] = module.read_bytes()
                module.unlink()
    if modules:
        first = next(iter(modules.values()))
        modules["truncated"] = first[: len(first) // 2]
        modules["empty"] = b""
    return modules


def main():
    compile_seeds = dict(COMPILE_SEEDS)
    for example in sorted((ROOT / "examples").glob("*.oxs")):
        compile_seeds["example_" + example.stem] = example.read_bytes()
    write_corpus("fuzz_compile", compile_seeds)
    write_corpus("fuzz_directives", DIRECTIVE_SEEDS)
    write_corpus("fuzz_bitmap", BITMAP_SEEDS)
    if len(sys.argv) > 1:
        shutil.rmtree(FUZZ / "corpus" / "fuzz_oxdump", ignore_errors=True)
        sources = {"source_" + k: v for k, v in compile_seeds.items()}
        sources.update({"directives_" + k: v for k, v in DIRECTIVE_SEEDS.items()})
        write_corpus("fuzz_oxdump", compile_modules(sys.argv[1], sources))


if __name__ == "__main__":
    main()
