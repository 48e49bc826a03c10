"""The tables the profile generator reads, and the checks they share."""

import re
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "data"


class TableError(Exception):
    pass


def read_tsv(path, columns):
    lines = path.read_text(encoding="utf-8").splitlines()
    if not lines or lines[0].split("\t") != columns:
        raise TableError(f"{path.name}: the header must be: {' '.join(columns)}")
    rows = []
    for number, line in enumerate(lines[1:], start=2):
        cells = line.split("\t")
        if len(cells) != len(columns):
            raise TableError(f"{path.name}:{number}: {len(cells)} cells, {len(columns)} expected")
        rows.append(dict(zip(columns, cells)))
    return rows


def check_row_id(where, row_id):
    """A row's id names its profile file: lower-case letters, digits and dashes, never a family's."""
    if not re.fullmatch(r"[0-9a-z][0-9a-z-]*", row_id) or row_id.startswith("family-"):
        raise TableError(f"{where}: an id is lower-case letters, digits and dashes, never family-…")


def words(cell, sep=None):
    return [] if cell == "-" else [w.strip() for w in cell.split(sep)]


def read_reports(path, first_column):
    """machine type (or product number) -> (number of reports, [(name, reports)])"""
    reports = {}
    names_column = "system_version (most reported first, with counts)"
    header = read_tsv_header(path)
    for row in read_tsv(path, header):
        names = []
        for part in row[names_column].split("; "):
            match = re.fullmatch(r"(.*) \((\d+)\)", part)
            if not match:
                raise TableError(f"{path.name}: cannot read '{part}'")
            names.append((match.group(1), int(match.group(2))))
        reports[row[first_column]] = (int(row["reports"]), names)
    return reports


def read_tsv_header(path):
    with open(path, encoding="utf-8") as f:
        return f.readline().rstrip("\n").split("\t")


def check_placement(rows, reports, unplaced, unplaced_name, kinds=("mtm", "name")):
    """Every machine type and every name of the reports is accounted for."""
    problems = []
    model_of = {}
    for row in rows:
        for name in [row["display_name"], *row["aliases"]]:
            if model_of.setdefault(name, row["id"]) != row["id"]:
                problems.append(f"name '{name}' belongs to both {model_of[name]} and {row['id']}")
    unplaced_mtm = {r["value"]: r["reason"] for r in unplaced if r["kind"] != "name"}
    unplaced_names = {r["value"]: r["reason"] for r in unplaced if r["kind"] == "name"}
    for r in unplaced:
        if r["kind"] not in kinds or not r["reason"].strip():
            problems.append(f"{unplaced_name}: '{r['value']}' needs kind {' or '.join(kinds)} and a reason")

    placed = {}
    for row in rows:
        for mtm in row["mtm"]:
            if placed.setdefault(mtm, row["id"]) != row["id"]:
                problems.append(f"{mtm} is in both {placed[mtm]} and {row['id']}")
    for mtm, (_, names) in sorted(reports.items()):
        votes = Counter()
        for name, count in names:
            if name in model_of:
                votes[model_of[name]] += count
            elif name not in unplaced_names:
                problems.append(f"{mtm}: the name '{name}' is no row's name or alias, nor listed as unplaced")
        if mtm in unplaced_mtm:
            if mtm in placed:
                problems.append(f"{mtm} is listed as unplaced and in {placed[mtm]}")
            continue
        if mtm not in placed:
            problems.append(f"{mtm} ({names}) is in no row and not listed as unplaced")
            continue
        here = votes[placed[mtm]]
        if here == 0 or any(count > here for count in votes.values()):
            problems.append(f"{mtm} is in {placed[mtm]}, but its reports name {dict(votes)}")
    for value in [*unplaced_mtm, *unplaced_names]:
        if value not in reports and not any(value == n for _, ns in reports.values() for n, _ in ns):
            problems.append(f"{unplaced_name}: '{value}' is not in the reports")
    return problems


def toml_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def toml_list(items):
    return "[" + ", ".join(toml_string(i) for i in items) + "]"


def rules_table(begin, end, features, rules, dump_text, closing):
    """The README's table of rules: each feature's rules and the dumps behind them, then a closing sentence."""
    lines = [begin, "", "| Capacité | Règle | Relevés qui la portent |", "|---|---|---|"]
    for feature in features:
        for rule in rules[feature.id]:
            behind = ", ".join(dump_text(d) for d in rule.dumps)
            lines.append(f"| `{feature.id}` | `{rule.name()}` | {len(rule.dumps)} : {behind} |")
        if not rules[feature.id]:
            lines.append(f"| `{feature.id}` | aucune | seul le relevé du modèle même compte |")
    return "\n".join(lines + ["", closing, "", end])
