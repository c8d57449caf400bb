"""The report: the tables printed and written into the results section of
bench/README.md, the chart, and the description of the machine."""
import re
from pathlib import Path

from cases import goal_text, holds
from measures import MEMORY_GOALS

HERE = Path(__file__).resolve().parent
README = HERE / "README.md"
CHART = HERE / "bench.png"
BEGIN, END = "<!-- results: begin -->", "<!-- results: end -->"


def fmt_ns(ns):
    return f"{ns:,.1f}" if ns < 100 else f"{ns:,.0f}"


def build_report(args, measures, memory, imports, import_ratio, env):
    goals = []
    for m in measures:
        if m.goal:
            goals.append((m.name, f"{m.ratio:.2f}", goal_text(m.goal), "yes" if holds(m.ratio, m.goal) else "no"))
        else:
            goals.append((m.name, f"{m.ratio:.2f}", "none", ""))
        for name, _, _, goal in m.also:
            if name in m.also_ratios:
                value = m.also_ratios[name]
                goals.append((name, f"{value:.2f}", goal_text(goal), "yes" if holds(value, goal) else "no"))
    for row, (name, goal) in MEMORY_GOALS.items():
        ours = next((b for r, lib, _, b in memory if r == row and lib == "vorna"), None)
        if ours is not None:
            # Whole bytes, as the figure is shown: one 64-byte block and the
            # list's pointer come to 73.2 with the allocator's pool headers.
            ours = round(ours)
            goals.append((name, f"{ours:.0f}", goal_text(goal), "yes" if holds(ours, goal) else "no"))
    if import_ratio is not None:
        goal = ("<=", 0.02)
        goals.append(("import: vorna's own modules / `packaging.version`'s, self time", f"{import_ratio:.3f}",
                      goal_text(goal),
                      "yes" if holds(import_ratio, goal) else "no"))

    out = [f"Run on {env['date']}: {env['python']}, {env['machine']}; {env['peers']}.",
           f"Mode: {'quick' if args.quick else 'full'}: {args.rounds} alternated rounds per measure, about "
           f"{args.budget:g} s per case and round, corpus of {env['corpus_lines']:,} lines, "
           f"{args.objects:,} kept objects per memory row.", "",
           "| Measure | Measured | Goal | Holds |", "|---|---|---|---|"]
    out += [f"| {a} | {b} | {c} | {d} |" for a, b, c, d in goals]
    out += ["", "Side by side: median nanoseconds of CPU time per item (an operation, a sorted element, a corpus "
            "string or a byte of text), the ratio to vorna's figure in the same rounds, and callgrind's "
            "instructions per item.", "",
            "| Measure | Case | ns | × vorna | instructions |", "|---|---|---|---|---|"]
    for m in measures:
        for c in m.cases:
            ratio = f"{c.to_vorna:.2f}"
            ins = f"{c.instructions:,.0f}" if c.instructions is not None else "not counted"
            out.append(f"| {m.name.split(' / ')[0]} | {c.label} | {fmt_ns(c.ns)} | {ratio} | {ins} |")
    out += ["", "Resident bytes per kept object (the list that keeps them included):", "",
            "| Text | Object | Bytes |", "|---|---|---|"]
    out += [f"| `{row}` | {label} | {b:.0f} |" for row, _, label, b in memory]
    out += ["", f"Import time in microseconds (the least of {3 * args.rounds} fresh interpreters):", "",
            "| Module | Self | Cumulative | All the import loads, self times summed |", "|---|---|---|---|"]
    out += [f"| `{mod}` | {s:,.0f} | {c:,.0f} | {a:,.0f} |" for mod, (s, c, a) in imports.items()]
    out += ["", f"![nanoseconds per operation]({CHART.name})"]
    return "\n".join(out)


def write_chart(measures, memory, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.patches
    import matplotlib.pyplot as plt

    colours = {"vorna": "#d62728", "vorna accepting": "#ff9896", "vorna wheel": "#ff9896", "int": "#7f7f7f", "tuples": "#7f7f7f",
               "packaging": "#1f77b4", "pep440_rs": "#2ca02c", "semver": "#9467bd"}
    bars = []
    for m in measures:
        for c in m.cases:
            bars.append((f"{c.label} (per {m.unit})", c.ns, colours.get(c.lib, "#17becf")))
        bars.append(None)
    bars = bars[:-1]
    mem = [(f"{label}", b, colours.get(lib.split()[0], "#17becf")) for _, lib, label, b in memory]
    fig, (ax, bx) = plt.subplots(2, 1, figsize=(10, 0.28 * (len(bars) + len(mem)) + 2.5),
                                 gridspec_kw={"height_ratios": [len(bars), len(mem) + 1]})
    ys = list(range(len(bars)))[::-1]
    for y, bar in zip(ys, bars):
        if bar:
            ax.barh(y, bar[1], color=bar[2])
            ax.text(bar[1] * 1.05, y, fmt_ns(bar[1]), va="center", fontsize=7)
    ax.set_yticks([y for y, b in zip(ys, bars) if b])
    ax.set_yticklabels([b[0] for b in bars if b], fontsize=7)
    ax.set_xscale("log")
    shown = {c.lib.split()[0] for m in measures for c in m.cases}
    ax.legend(handles=[matplotlib.patches.Patch(color=colours[lib], label=lib) for lib in
                       ("vorna", "int", "tuples", "packaging", "pep440_rs", "semver") if lib in shown],
              loc="lower right", fontsize=7)
    ax.set_xlabel("nanoseconds of CPU time per item (log scale; shorter is faster)")
    ys = list(range(len(mem)))[::-1]
    bx.barh(ys, [b for _, b, _ in mem], color=[c for _, _, c in mem])
    for y, (_, b, _) in zip(ys, mem):
        bx.text(b + 5, y, f"{b:.0f}", va="center", fontsize=7)
    bx.set_yticks(ys)
    bx.set_yticklabels([n for n, _, _ in mem], fontsize=7)
    bx.set_xlabel("resident bytes per kept object")
    fig.tight_layout()
    fig.savefig(path, dpi=110)


def write_readme(body):
    text = README.read_text(encoding="utf-8")
    start, stop = text.index(BEGIN) + len(BEGIN), text.index(END)
    README.write_text(text[:start] + "\n" + body + "\n" + text[stop:], encoding="utf-8")



def version_of(dist):
    from importlib import metadata

    try:
        return metadata.version(dist)
    except metadata.PackageNotFoundError:
        return "?"


def cpu_name():
    try:
        with open("/proc/cpuinfo") as f:
            found = re.search(r"^model name\s*:\s*(.+)$", f.read(), re.M)
        return found.group(1).strip() if found else ""
    except OSError:
        return ""

