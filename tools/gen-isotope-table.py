#!/usr/bin/python3
"""Generates data/ISOTOPE.DAT, the isotope table of the Maldi library.

Data source: the NIST "Atomic Weights and Isotopic Compositions" compilation
(isotope masses from the Atomic Mass Evaluation, abundances from the IUPAC
"Isotopic Compositions of the Elements" report), as packaged by Debian in
python3-periodictable (module periodictable.mass). Nothing here is typed by hand.

Layout of the written file (read by maldi/uIsotopeTable.cpp):
  * one block per element, separated by single blank lines;
  * the first line of a block names the element; the words after the symbol
    are read by nobody and only document the block;
  * then one line per isotope in ascending mass: exact mass in u, abundance as
    a fraction, and the isotope's name for the reader of the file.
Block order: carbon first, hydrogen second (the library removes one atom of
the second block for the spectra of chains that lost a hydrogen atom), then
every other element with a natural isotopic composition by atomic number.
After the elements come single-isotope blocks named like "13C" or "2H", for
isotope-labelled formulas written with brackets ([13C]6H6), and "D" for
deuterium (C8D8).

Abundances are divided by their sum per element, so that each element's
fractions add up to 1 and the average molar mass of a pattern is a plain
sum of mass x abundance.

Usage: gen-isotope-table.py [OUTPUT]          write the table (default: stdout)
       gen-isotope-table.py --check FILE      exit 1 if FILE differs from the data
"""

import sys

import periodictable


def natural_isotopes(element):
    """(mass number, exact mass, abundance fraction) of the isotopes found in nature."""
    found = [(iso.isotope, float(iso.mass), float(iso.abundance))
             for iso in element if iso.abundance and iso.abundance > 0]
    total = sum(a for _, _, a in found)
    found.sort(key=lambda item: item[1])
    return [(a_number, mass, abundance / total) for a_number, mass, abundance in found]


def number(value):
    # Shortest text that reads back as the same double.
    return repr(float(value))


def element_block(element, isotopes, note=""):
    head = f"{element.symbol} {element.name} Z={element.number}"
    if note:
        head += " " + note
    lines = [head]
    for a_number, mass, fraction in isotopes:
        lines.append(f"{number(mass)} {fraction:.10g} {a_number}{element.symbol}")
    return lines


def labelled_block(symbol, element, a_number, mass):
    return [f"{symbol} {element.name}-{a_number} isotope label",
            f"{number(mass)} 1.0 {a_number}{element.symbol}"]


def build_table():
    elements = [el for el in periodictable.elements
                if el.number > 0 and natural_isotopes(el)]
    by_symbol = {el.symbol: el for el in elements}
    order = [by_symbol["C"], by_symbol["H"]]
    order += [el for el in elements if el.symbol not in ("C", "H")]

    source = ("source: NIST Atomic Weights and Isotopic Compositions "
              f"via python3-periodictable {periodictable.__version__}, "
              "written by tools/gen-isotope-table.py")
    blocks = []
    for index, element in enumerate(order):
        blocks.append(element_block(element, natural_isotopes(element),
                                    source if index == 0 else ""))
    for element in sorted(order, key=lambda el: el.number):
        for a_number, mass, _ in natural_isotopes(element):
            blocks.append(labelled_block(f"{a_number}{element.symbol}", element, a_number, mass))
    hydrogen = by_symbol["H"]
    deuterium = [(a, m) for a, m, _ in natural_isotopes(hydrogen) if a == 2][0]
    blocks.append(labelled_block("D", hydrogen, deuterium[0], deuterium[1]))

    return "\n".join("\n".join(block) + "\n" for block in blocks)


def main(argv):
    text = build_table()
    if len(argv) >= 2 and argv[0] == "--check":
        with open(argv[1], "r", encoding="ascii", newline="") as handle:
            if handle.read() != text:
                print(f"{argv[1]} differs from the isotope data; "
                      "regenerate it with tools/gen-isotope-table.py", file=sys.stderr)
                return 1
        return 0
    if argv:
        with open(argv[0], "w", encoding="ascii", newline="\n") as handle:
            handle.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
