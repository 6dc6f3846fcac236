#!/usr/bin/env python3
"""tervik-rom's images read back by the tools that consume them.

rom_consumers.py CONSUMER TERVIK_ROM LISTING [START COUNT]

CONSUMER is ghdl (the VHDL package analysed and printed by a test bench), iverilog (the
$readmemh file loaded and printed by a Verilog module) or srecord (the Intel HEX and both raw
binaries converted by srec_cat). The words each tool gives back must be exactly the listing's:
this script reads them from the listing's lines itself. With START and COUNT the image covers
that range (START may be a label of the listing's symbol file); without, the default range.
Exits 77 (a skipped test for ctest) when the tool is
not installed.
"""

import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SKIP = 77
TOOLS = {"ghdl": ["ghdl"], "iverilog": ["iverilog", "vvp"], "srecord": ["srec_cat"]}


def listing_words(path):
    words = {}
    pattern = re.compile(rb"([0-9A-F]{5})[ \t\r\n\f]([01]{32})")
    for line in Path(path).read_bytes().split(b"\n"):
        match = pattern.search(line)
        if match:
            words[int(match.group(1), 16)] = int(match.group(2), 2)
    return words


def address(text, listing):
    try:
        return int(text, 0)
    except ValueError:
        for line in Path(listing).with_suffix(".sym").read_text().splitlines():
            fields = line.split()
            if len(fields) == 3 and fields[2] == text:
                return int(fields[0], 16)
        sys.exit(f"no symbol {text} beside {listing}")


def expected(words, start, count):
    if start is None:
        start = min(words)
        count = 1
        while count < max(words) - start + 1:
            count *= 2
    return start, [words.get(start + i, 0) for i in range(count)]


def run(args, cwd):
    done = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done.stdout


def hex_words(text):
    return [int(token, 16) for token in re.findall(r"\b[0-9A-Fa-f]{8}\b", text)]


def image(tool, listing, fmt, out, start, count, cwd):
    args = [tool, "--lst", listing, "-f", fmt, "-o", out]
    if start is not None:
        args += ["--start", str(start), "--count", str(count)]
    run(args, cwd)


def ghdl(tool, listing, start, count, cwd):
    image(tool, listing, "vhdl", "rom.vhd", start, count, cwd)
    Path(cwd, "bench.vhd").write_text(
        "library ieee;\nuse ieee.std_logic_1164.all;\nuse std.textio.all;\n"
        "use work.tervik_rom.all;\n"
        "entity bench is\nend entity;\n"
        "architecture print of bench is\nbegin\n  process\n    variable l : line;\n  begin\n"
        "    assert ROM_DEPTH = ROM'length report \"ROM_DEPTH\" severity failure;\n"
        "    assert 2 ** ROM_ADDR_BITS >= ROM_DEPTH and (ROM_ADDR_BITS = 1 or\n"
        "           2 ** (ROM_ADDR_BITS - 1) < ROM_DEPTH) report \"ROM_ADDR_BITS\" severity failure;\n"
        "    write(l, string'(\"base \") & to_hstring(ROM_BASE));\n    writeline(output, l);\n"
        "    for i in ROM'range loop\n"
        "      write(l, to_hstring(ROM(i)));\n      writeline(output, l);\n    end loop;\n"
        "    wait;\n  end process;\nend architecture;\n")
    run(["ghdl", "-a", "--std=08", "rom.vhd", "bench.vhd"], cwd)
    run(["ghdl", "-e", "--std=08", "bench"], cwd)
    base, _, words = run(["ghdl", "-r", "--std=08", "bench"], cwd).partition("\n")
    return [[int(base.split()[-1], 16)] + hex_words(words)]


def iverilog(tool, listing, start, count, cwd, size):
    image(tool, listing, "readmemh", "rom.hex", start, count, cwd)
    Path(cwd, "bench.v").write_text(
        "module bench;\n"
        f"  reg [31:0] rom [0:{size - 1}];\n  integer i;\n"
        "  initial begin\n    $readmemh(\"rom.hex\", rom);\n"
        f"    for (i = 0; i < {size}; i = i + 1) $display(\"%h\", rom[i]);\n"
        "    $finish;\n  end\nendmodule\n")
    run(["iverilog", "-o", "bench.vvp", "bench.v"], cwd)
    return [hex_words(run(["vvp", "-n", "bench.vvp"], cwd))]


def srecord(tool, listing, start, count, cwd):
    results = []
    # -VMem 32 prints four bytes a word, the first byte most significant.
    for fmt, name, reader in (("ihex", "rom.ihex", ["-Intel"]),
                              ("bin-be", "rom.be", ["-Binary"]),
                              ("bin-le", "rom.le", ["-Binary", "-Byte_Swap", "4"])):
        image(tool, listing, fmt, name, start, count, cwd)
        text = run(["srec_cat", name] + reader + ["-o", "-", "-VMem", "32"], cwd)
        text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
        results.append(hex_words(re.sub(r"@[0-9A-Fa-f]+", "", text)))
    return results


def main():
    if len(sys.argv) not in (4, 6):
        sys.exit(__doc__)
    consumer, tool, listing = sys.argv[1:4]
    start, count = (sys.argv[4], int(sys.argv[5], 0)) if len(sys.argv) == 6 else (None, None)
    missing = [t for t in TOOLS[consumer] if shutil.which(t) is None]
    if missing:
        print(f"SKIPPED: {', '.join(missing)} not installed (Debian package {consumer})")
        return SKIP
    first, want = expected(listing_words(listing),
                           None if start is None else address(start, listing), count)
    if consumer == "ghdl":
        want = [first] + want  # the package's ROM_BASE comes first
    with tempfile.TemporaryDirectory() as cwd:
        if consumer == "ghdl":
            results = ghdl(tool, listing, start, count, cwd)
        elif consumer == "iverilog":
            results = iverilog(tool, listing, start, count, cwd, len(want))
        else:
            results = srecord(tool, listing, start, count, cwd)
    for got in results:
        if got != want:
            print(f"{consumer}: the words from {first:#x} differ")
            print(" want:", " ".join(f"{w:08X}" for w in want))
            print(" got: ", " ".join(f"{w:08X}" for w in got))
            return 1
    print(f"{consumer}: {len(want)} words from {first:#x} read back exactly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
