#!/usr/bin/env python3
"""Expected statistics of game-server log files, worked out from the counting rules in
RULES.md alone (no code shared with Ledgerwell), so that agreement between the two means
something.

    python3 expected.py FILE...   -> JSON on stdout; verbs the rules do not use on stderr
"""

import codecs
import json
import re
import sys
from collections import Counter, namedtuple

# Windows-1252 leaves five bytes undefined; they stand for the Latin-1 code points.
codecs.register_error("latin1_gaps", lambda e: (e.object[e.start:e.end].decode("latin-1"), e.end))


def decode(raw):
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp1252", errors="latin1_gaps")


def split_lines(data):
    """The datagrams of a file: split at LF, a CR before the LF dropped, empty lines skipped."""
    pieces = data.split(b"\n")
    for i, raw in enumerate(pieces):
        if i < len(pieces) - 1 and raw.endswith(b"\r"):
            raw = raw[:-1]
        if raw:
            yield raw


# re.A throughout: \d and \w must not match non-ASCII digits and letters in names.
STAMP = re.compile(r"L (\d\d)/(\d\d)/(\d{4}) - (\d\d):(\d\d):(\d\d): ", re.A)
# How CS2 writes the time of a line it posts over HTTP.
HTTP_STAMP = re.compile(r"(\d\d)/(\d\d)/(\d{4}) - (\d\d):(\d\d):(\d\d)\.\d{3} - ", re.A)


def split_stamp(line):
    """The event text after a valid timestamp, or None."""
    m = STAMP.match(line) or HTTP_STAMP.match(line)
    if not m:
        return None
    month, day, _, hh, mm, ss = map(int, m.groups())
    if not (1 <= month <= 12 and 1 <= day <= 31 and hh < 24 and mm < 60 and ss < 60):
        return None
    return line[m.end():]


# ---- player tokens and keys ---------------------------------------------------------

Player = namedtuple("Player", "name uid id team")
# The name is anything; the groups are recognised from the end of the token. The reading
# with a team group is tried first: it is the usual form.
TOKEN4 = re.compile(r'"(.*)<(-?\d+)><([^<>"]*)><([^<>"]*)>"', re.A | re.S)
TOKEN3 = re.compile(r'"(.*)<(-?\d+)><([^<>"]*)>"', re.A | re.S)
UNIQUE = re.compile(r"STEAM_\d+:\d+:\d+|\[[A-Za-z]:\d+:\d+\]|\d+", re.A)


def token(text):
    m = TOKEN4.fullmatch(text)
    if m:
        return Player(m[1], int(m[2]), m[3], m[4])
    m = TOKEN3.fullmatch(text)
    return Player(m[1], int(m[2]), m[3], None) if m else None


def token_ends(text):
    """Every way the text can start with a player token: (player, rest of the text)."""
    if not text.startswith('"'):
        return
    at = text.find('>"')
    while at >= 0:
        p = token(text[:at + 2])
        if p:
            yield p, text[at + 2:]
        at = text.find('>"', at + 1)


def placeholder_account(z, y):
    """Account 0, or 1234, 12345 ... as the last number of STEAM_X:Y:Z: what servers without
    Steam give every player."""
    return (z == 0 and y == 0) or (z >= 1234 and "123456789".startswith(str(z)))


def is_unique(s):
    if not UNIQUE.fullmatch(s) or (s.isdigit() and int(s) == 0):
        return False
    if s.startswith("STEAM_"):
        _, y, z = s.rsplit(":", 2)
        return not placeholder_account(int(z), int(y))
    if s.startswith("["):
        n = int(s[1:-1].rsplit(":", 1)[1])
        return not placeholder_account(n // 2, n % 2)
    return True


def fnv1a(data):
    h = 0x811C9DC5
    for b in data:
        h = ((h ^ b) * 0x01000193) & 0xFFFFFFFF
    return h


def player_key(p):
    if is_unique(p.id):
        key = p.id
    else:
        name = clean(p.name)
        key = "~" + name if is_unique(name) else name
    if len(key) > 50:
        key = "%s~%08x" % (key[:41], fnv1a(key.encode("utf-8")))
    return key


# ---- verbs --------------------------------------------------------------------------

POS = re.compile(r' \[[^\[\]"]*\]')
GROUP = re.compile(r'[ \t]*\((?:([^\s()"]+) "([^"]*)"|([^()"]*))\)')
BLANKS = re.compile(r"[ \t]*")


def skip_pos(text):
    m = POS.match(text)
    return text[m.end():] if m else text


def groups(text):
    """Property groups (key "value") and flag groups (word ...) up to the end of the line,
    as (properties, flag words), or None when something else is there."""
    props, words, at = {}, set(), 0
    while True:
        m = GROUP.match(text, at)
        if not m:
            break
        if m[1] is not None:
            props.setdefault(m[1], m[2])
        else:
            words.update(m[3].split())
        at = m.end()
    return (props, words) if BLANKS.fullmatch(text, at) else None


WITH = re.compile(r' with "([^"]*)"(.*)', re.S)
# verb (as stored), the text between the tokens, what must follow the second token
TWO_TOKEN_VERBS = [
    ("kill", re.compile(r" killed (?=\")"), "with"),
    ("attack", re.compile(r" attacked (?=\")"), "with"),
    ("assist", re.compile(r" assisted killing (?=\")"), "groups"),
    ("flash-assist", re.compile(r" flash-assisted killing (?=\")"), "groups"),
    # TF2 puts a weapon before the groups of some triggers ("player_extinguished")
    ("against", re.compile(r' triggered "([^"]*)" against (?=")'), "with?"),
    ("blinded", re.compile(r" blinded for [^\"]* by (?=\")"), "anything"),
]
Reading = namedtuple("Reading", "verb actor other weapon trigger props words")


def readings_after(actor, rest):
    """Every reading of the text after the actor's token."""
    rest = skip_pos(rest)
    out = []
    for verb, head, tail_kind in TWO_TOKEN_VERBS:
        m = head.match(rest)
        if not m:
            continue
        trigger = m[1] if m.groups() else None
        for other, after in token_ends(rest[m.end():]):
            after = skip_pos(after)
            weapon, tail = None, after
            if tail_kind.startswith("with"):
                w = WITH.fullmatch(after)
                if w:
                    weapon, tail = w[1], w[2]
                elif tail_kind == "with":
                    continue
            if tail_kind == "anything":
                if after and not after.startswith(" "):
                    continue
                g = ({}, set())
            else:
                g = groups(tail)
                if g is None:
                    continue
            out.append(Reading(verb, actor, other, weapon, trigger, *g))
    m = re.fullmatch(r' committed suicide with "([^"]*)"(.*)', rest, re.S)
    if m and groups(m[2]) is not None:
        out.append(Reading("suicide", actor, actor, m[1], None, *groups(m[2])))
    if not out and rest.startswith(" "):
        # any other verb: only the actor matters
        out.append(Reading(None, actor, None, None, None, {}, set()))
    return out


def read_player_event(event):
    """(chosen reading, number of readings). A reading whose verb parses beats one that
    only has an unknown verb; then the longest first token wins, then the longest second."""
    found = [r for actor, rest in token_ends(event) for r in readings_after(actor, rest)]
    if not found:
        return None, 0
    best = max(found, key=lambda r: (r.verb is not None, len(r.actor.name),
                                     len(r.other.name) if r.other else 0))
    return best, sum((r.verb is None) == (best.verb is None) for r in found)


def verb_label(text):
    """A short name for an event kind the rules do not use (for the stderr summary):
    quoted texts, positions and numbers blurred, a trigger's name kept."""
    text = re.sub(r'(triggered )?"[^"]*"', lambda m: m[0] if m[1] else '"*"', text)
    text = re.sub(r'-?\d+(\.\d+)?', "N", POS.sub("", text), flags=re.A)
    return re.sub(r"N( N)+", "N...", text).strip()[:50]


# ---- one file -----------------------------------------------------------------------

CONTROL = re.compile("[\x00-\x1f\x7f-\x9f]")


def clean(text):
    """Stored text leaves out control characters."""
    return CONTROL.sub("", text)


def cut(weapon):
    return clean(weapon)[:50]


class FileFigures:
    def __init__(self):
        self.c = Counter()
        self.kills_by_killer, self.kills_by_weapon = Counter(), Counter()
        self.deaths_by_victim, self.round_wins = Counter(), Counter()
        self.games, self.game = [], None
        self.players, self.weapons = set(), set()
        self.lives_by_class, self.medic_scores = Counter(), Counter()
        self.unused, self.odd = Counter(), []

    def open_game(self, map_name, loaded=False):
        self.game = {"map": map_name, "loaded": loaded, "started": False}
        self.games.append(map_name)

    def need_game(self):
        if self.game is None:
            self.open_game(None)

    def line(self, raw):
        self.c["lines"] += 1
        event = split_stamp(decode(raw).removeprefix("\ufeff"))
        if event is None:
            self.unused["(no timestamp)"] += 1
            return
        self.c["log_lines"] += 1
        m = re.match(r'(Loading|Started) map "([^"]*)"', event)
        if m:
            g = self.game
            if m[1] == "Loading":
                self.open_game(m[2], loaded=True)
            elif g and g["loaded"] and g["map"] == m[2] and not g["started"]:
                g["started"] = True  # the map that was loading has started: same game
            else:
                self.open_game(m[2])
                self.game["started"] = True
            return
        if event.startswith('"'):
            r, n = read_player_event(event)
            if n > 1:
                self.odd.append("%d readings: %s" % (n, event))
            if r is None:
                self.unused[verb_label(event)] += 1
                if '>"' in event:
                    self.odd.append("no reading: " + event)
                return
            self.player_event(event, r)
            return
        if event.startswith(("Team ", "World ")):
            self.need_game()
            self.team_world_event(event)
            return
        self.unused[verb_label(event)] += 1

    def player_event(self, event, r):
        if r.actor.id == "Console" or (r.other and r.other.id == "Console"):
            self.unused["(console)"] += 1
            return
        self.need_game()
        self.players.add(player_key(r.actor))
        if r.other and r.verb != "suicide":
            self.players.add(player_key(r.other))
        c = self.c
        if r.verb == "kill" and r.props.get("customkill") == "feign_death":
            self.unused["(a Spy's feigned death)"] += 1  # nobody died
        elif r.verb == "kill":
            self.weapons.add(cut(r.weapon))
            if r.actor.uid == r.other.uid:
                c["suicides"] += 1
            elif r.actor.team and r.actor.team == r.other.team:
                c["teamkills"] += 1
            else:
                c["kills"] += 1
                self.kills_by_killer[player_key(r.actor)] += 1
                self.deaths_by_victim[player_key(r.other)] += 1
                if r.weapon:  # like the weapon list, no row for an empty weapon
                    self.kills_by_weapon[cut(r.weapon)] += 1
                if "headshot" in r.words or r.props.get("customkill") == "headshot":
                    c["headshots"] += 1
        elif r.verb == "suicide":
            self.weapons.add(cut(r.weapon))
            c["suicides"] += 1
        elif r.verb == "against" and r.trigger in ("healed", "medic_death"):
            # a heal scores its healing; a medic's death its points (it names his healing)
            key = "healing" if r.trigger == "healed" else "points"
            self.medic_scores[r.trigger] += self.damage(r.props.get(key, "0"), event)
        elif r.verb == "assist" or (r.verb == "against" and r.trigger == "kill assist"):
            c["assists"] += 1
        elif r.verb == "attack" or (r.verb == "against" and r.trigger == "damage"):
            weapon = r.weapon if r.verb == "attack" else r.props.get("weapon", "")
            self.weapons.add(cut(weapon))
            c["attacks"] += 1
            c["damage"] += self.damage(r.props.get("damage"), event)
        else:
            rest = event[1 + len(r.actor.name):]
            rest = rest[rest.find('>"') + 2:]
            m = re.fullmatch(r' triggered "damage"(.*)', rest, re.S)
            g = m and groups(m[1])
            if r.verb is None and g:  # the older TF2 form: damage without a victim
                self.weapons.add(cut(g[0].get("weapon", "")))
                c["attacks"] += 1
                c["damage"] += self.damage(g[0].get("damage"), event)
                return
            m = re.fullmatch(r'(?: \[[^\]]*\])? was killed by the ([^ "<>]+?)\.?', rest, re.S)
            if r.verb is None and m:  # a kill by the world: nobody killed
                self.weapons.add(cut(m[1]))
                c["kills"] += 1
                self.deaths_by_victim[player_key(r.actor)] += 1
                self.kills_by_weapon[cut(m[1])] += 1
                return
            m = re.fullmatch(r' spawned as "([^"]*)"', rest, re.S)
            if r.verb is None and m:
                self.lives_by_class[clean(m[1])] += 1
                return
            m = re.fullmatch(r' picked up item "([^"]*)"(.*)', rest, re.S)
            g = m and groups(m[2])
            if r.verb is None and g:
                c["pickups"] += 1
                c["pickup_healing"] += self.damage(g[0].get("healing", "0"), event)
                return
            self.unused["player: " + verb_label(rest)] += 1

    def damage(self, value, event):
        if value is None:
            return 0
        if re.fullmatch(r"-?\d+", value, re.A):
            return int(value)
        self.odd.append("damage not a whole number: " + event)
        return 0

    def team_world_event(self, event):
        m = re.fullmatch(r'Team "([^"]*)" triggered "([^"]*)"(.*)', event, re.S)
        g = m and groups(m[3])
        if g and m[2] == "pointcaptured":  # TF2 names the cappers: (player1 "TOKEN") ...
            for key, value in g[0].items():
                p = re.fullmatch(r"player\d+", key, re.A) and token('"%s"' % value)
                if p and p.id != "Console":
                    self.players.add(player_key(p))
        if g and "CT" in g[0] and "T" in g[0]:
            self.round_wins[(self.game["map"] or "") + "|" + m[1]] += 1
            return
        m = re.fullmatch(r'World triggered "Round_Win"(.*)', event, re.S)
        g = m and groups(m[1])
        if g and "winner" in g[0]:
            self.round_wins[(self.game["map"] or "") + "|" + g[0]["winner"]] += 1
            return
        self.unused[verb_label(event)] += 1

    def result(self):
        out = {k: self.c[k] for k in ("kills", "teamkills", "suicides", "headshots", "assists",
                                      "attacks", "damage", "pickups", "pickup_healing", "lines",
                                      "log_lines")}
        out.update(kills_by_killer=dict(self.kills_by_killer),
                   kills_by_weapon=dict(self.kills_by_weapon),
                   deaths_by_victim=dict(self.deaths_by_victim),
                   lives_by_class=dict(self.lives_by_class),
                   medic_scores=dict(self.medic_scores),
                   round_wins=dict(self.round_wins), games=self.games,
                   players=sorted(self.players), weapons=sorted(self.weapons - {""}))
        return out


def figures_of_lines(raw_lines):
    f = FileFigures()
    for raw in raw_lines:
        f.line(raw)
    return f


def main(paths):
    result = {}
    for path in paths:
        with open(path, "rb") as fh:
            f = figures_of_lines(split_lines(fh.read()))
        result[path] = f.result()
        print("== %s: kinds the rules do not use" % path, file=sys.stderr)
        kinds = sorted(f.unused.items(), key=lambda kv: (-kv[1], kv[0]))
        for label, n in kinds[:60]:
            print("  %7d  %s" % (n, label), file=sys.stderr)
        if len(kinds) > 60:
            print("  %7d  (%d more kinds)" % (sum(n for _, n in kinds[60:]), len(kinds) - 60),
                  file=sys.stderr)
        for text in f.odd[:20]:
            print("  odd: " + text, file=sys.stderr)
        if len(f.odd) > 20:
            print("  odd: ... %d more" % (len(f.odd) - 20), file=sys.stderr)
    json.dump(result, sys.stdout, sort_keys=True, indent=1)
    print()


if __name__ == "__main__":
    main(sys.argv[1:])
