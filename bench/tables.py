"""The benchmark's results and how it prints them: medians, ratios of
interleaved runs, the tables and the targets."""
import statistics

KIB = 1024


class Results:
    """Times and peak memory per (command, system), in round order."""

    def __init__(self):
        self.seconds = {}
        self.rss = {}

    def add(self, op, system, seconds, rss):
        self.seconds.setdefault((op, system), []).append(seconds)
        self.rss.setdefault((op, system), []).append(rss)

    def median(self, op, system):
        values = self.seconds.get((op, system))
        return statistics.median(values) if values else None

    def peak(self, op, system):
        values = self.rss.get((op, system))
        return max(values) if values else None

    def ratio(self, op, system, peer):
        """Median of the per-round ratios of two systems' times."""
        a = self.seconds.get((op, system))
        b = self.seconds.get((op, peer))
        if not a or not b:
            return None
        return statistics.median(x / y for x, y in zip(a, b))


def fmt_ms(seconds):
    if seconds is None:
        return "-"
    ms = seconds * 1000
    return f"{ms:.2f}" if ms < 10 else f"{ms:.1f}" if ms < 1000 else f"{ms:.0f}"


def fmt_ratio(value):
    return "-" if value is None else f"{value:.2f}x"


def print_rows(header, rows, out):
    """A Markdown table, its columns as wide as their widest cell."""
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    line = lambda cells: "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
    out(line(header))
    out("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        out(line(row))


def print_table(title, results, ops, systems, peers, out):
    out(f"\n### {title}\n")
    header = ["command", "system", "median ms", "peak RSS MiB"] + [f"vs {p}" for p in peers]
    rows = []
    for op in ops:
        for system in systems:
            median = results.median(op, system)
            if median is None:
                continue
            row = [op, system, fmt_ms(median), f"{results.peak(op, system) / KIB:.1f}"]
            for peer in peers:
                row.append("" if peer == system else fmt_ratio(results.ratio(op, system, peer)))
            rows.append(row)
    print_rows(header, rows, out)


def growth_table(title, stages, ops, systems, out):
    """Each command's median time at each store size, and the last size's
    time over the first's. stages: (label, Results) from smallest up."""
    out(f"\n### {title}\n")
    header = ["command", "system"] + [label for label, _ in stages] + ["growth"]
    rows = []
    for op in ops:
        for system in systems:
            times = [results.median(op, system) if results else None for _, results in stages]
            if all(t is None for t in times):
                continue
            measured = [t for t in times if t is not None]
            growth = f"{measured[-1] / measured[0]:.2f}x" if len(measured) > 1 else "-"
            rows.append([op, system] + [fmt_ms(t) for t in times] + [growth])
    print_rows(header, rows, out)


class Verdicts:
    def __init__(self):
        self.rows = []

    def limit(self, what, value, bound, unit="x"):
        bound_shown = f"{bound}{unit}" if unit == "x" else f"{bound:,.1f} {unit}"
        if value is None:
            self.rows.append((what, "-", f"<= {bound_shown}", "not measured"))
            return
        met = value <= bound
        shown = f"{value:.2f}{unit}" if unit == "x" else f"{value:,.1f} {unit}"
        slack = f"met ({bound / value:.2f}x headroom)" if met else f"NOT met ({value / bound:.2f}x over)"
        self.rows.append((what, shown, f"<= {bound_shown}", slack))

    def note(self, what, text):
        self.rows.append((what, "-", "-", text))

    def print(self, out):
        print_rows(("target", "measured", "bound", "verdict"), self.rows, out)
