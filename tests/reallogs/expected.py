#!/usr/bin/env python3
"""Expected statistics of game-server log files, worked out from the counting rules in
RULES.md alone (no code shared with Ledgerwell), so that agreement between the two means
something.

    python3 expected.py FILE...          -> JSON on stdout; verbs the rules do not use on stderr
    python3 expected.py --match FILE...  -> each file's match as its game page must show it
    python3 expected.py --rounds FILE... -> kills per game, rounds per player, the files as one
"""

import codecs
import copy
import json
import math
import re
import sys
from collections import Counter, defaultdict, namedtuple
from datetime import datetime

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


# ---- one match, as its game page shows it ----------------------------------------------
# The match starts at the last "Match_Start" (Counter-Strike) or the first "Round_Start" (TF2)
# and ends with its last round before "Game Over"; a player's rounds run from the first to the
# last round he did anything in. A player is keyed by his id, a bot by its name.

TOK = r'"([^"]*?)<(\d+)><([^>]*)><([^>]*)>"'
AT = r" (?:\[[^\]]*\] )?"


def rx(text):
    return re.compile(text.replace("TOK", TOK).replace(" AT ", AT), re.A)


TOKENS = rx("TOK")
WHEN = rx(r"^L (\d\d/\d\d/\d{4} - \d\d:\d\d:\d\d): ")
KILL = rx("TOK AT killed TOK")
WORLD_KILL = rx("TOK AT was killed by")
SUICIDE = rx("TOK AT committed suicide")
ASSIST = rx('TOK (?:assisted killing|triggered "kill assist" against) TOK')
ATTACK = rx(r'TOK AT (?:attacked|triggered "damage" against) TOK.*\(damage "(\d+)"\)')
FLASH = rx("TOK flash-assisted killing TOK")
HEALTH = rx(r'\(health "(\d+)"\)')
HEAL = rx(r'TOK triggered "healed" against .*\(healing "(\d+)"\)')
UBER = rx('TOK triggered "chargedeployed"')
DROP = rx(r'TOK triggered "medic_death" against TOK.*\(ubercharge "1"\)')
CAPTURE = rx(r'^[^"]*Team "[^"]+" triggered "pointcaptured"')
HIT_GROUP = rx(r'TOK AT attacked TOK AT with .*\(hitgroup "([^"]+)"\)')
SHOT = rx(r'TOK triggered "(shot_fired|shot_hit)" \(weapon "([^"]+)"\)')
CS_ROUND_END = rx(r'Team "[^"]+" triggered "[^"]+" \(CT "(\d+)"\) \(T "(\d+)"\)')
SCORED = rx("killed|committed suicide|assisted killing|attacked|triggered|spawned as|picked up item")
ROUND_WIN = rx(r'"Round_Win" \(winner "([^"]+)"\)')
JOINED = rx(r'"([^"]*?)<\d+><([^>]*)>(?:<[^>]*>)?" (?:joined team "|switched from team <[^>]*> '
            r'to <)([^">]+)')
CHAT = rx('TOK say(_team)? "')
PARTS = ("head", "neck", "chest", "stomach")
BLOCK_PAIR = rx(r'^"(\w+)" ?: "(.*)",?$')
FIGURES = ("kills deaths assists damage heals ubers captures drops first_kills kast headshots "
           "overkill hits team_assists flash_assists").split()


def key(m, at):
    return m[at] if m[at + 2] == "BOT" else m[at + 2]


def when(line):
    m = WHEN.search(line)
    return datetime.strptime(m[1], "%m/%d/%Y - %H:%M:%S") if m else None


def half_up(value):
    whole = math.floor(value)
    return whole + 1 if value - whole >= 0.5 else whole


def round1(value):
    return half_up(value * 10) / 10


def new_player():
    return dict.fromkeys(FIGURES, 0) | {"multi": [0] * 4, "first": -1, "last": -1, "team": ""}


def match_of(lines, until=-1):
    """The match's figures; `until`: only its lines before that one."""
    over = max([i for i, line in enumerate(lines) if ": Game Over: " in line], default=len(lines))
    end = max([i for i in range(over)
               if CS_ROUND_END.search(lines[i]) or '"Round_Win"' in lines[i]], default=0)
    start = next((i for i in range(end, -1, -1) if 'World triggered "Match_Start"' in lines[i]),
                 None)
    if start is None:
        start = next(i for i in range(end) if 'World triggered "Round_Start"' in lines[i])
    players = defaultdict(new_player)
    match = {"players": players, "score": "", "wins": Counter(), "rounds": 0,
             "seconds": int((when(lines[end]) - when(lines[start])).total_seconds())}
    deaths, assisted, health, started = [], set(), {}, True

    def end_round():
        kills, died, traded, first_taken = Counter(), set(), set(), False
        for i, (victim, killer, at, enemy, late) in enumerate(deaths):
            died.add(victim)
            if not enemy:
                continue
            kills[killer] += 1
            if not late and not first_taken:
                players[killer]["first_kills"] += 1
            first_taken = first_taken or not late
            for later in deaths[i + 1:]:  # traded: his killer died within 5 seconds
                if (later[2] - at).total_seconds() > 5:
                    break
                if later[3] and later[0] == killer:
                    traded.add(victim)
                    break
        for name, p in players.items():
            if p["last"] != match["rounds"]:
                continue
            if kills[name] >= 2:
                p["multi"][min(kills[name], 5) - 2] += 1
            if kills[name] or name in assisted or name not in died or name in traded:
                p["kast"] += 1
        deaths.clear()
        assisted.clear()
        match["rounds"] += 1
        return False

    for i in range(start, end + 1 if until < 0 else until):
        line = lines[i]
        if SCORED.search(line) and "killed other" not in line and not CHAT.search(line):
            for t in TOKENS.finditer(line):
                if t[3] != "Console":
                    p = players[key(t, 1)]
                    p["team"] = t[4] if t[4] and t[4] != "Unassigned" else p["team"]
                    p["first"] = match["rounds"] if p["first"] < 0 else p["first"]
                    p["last"] = match["rounds"]
        if 'World triggered "Round_Start"' in line:
            health.clear()
            started = True
        kill, world, suicide = KILL.search(line), WORLD_KILL.search(line), SUICIDE.search(line)
        if kill and "feign_death" not in line:
            enemy = kill[2] != kill[6] and kill[4] != kill[8]
            players[key(kill, 5)]["deaths"] += 1
            health.pop(key(kill, 5), None)
            if enemy:
                players[key(kill, 1)]["kills"] += 1
                players[key(kill, 1)]["headshots"] += "(headshot" in line
            deaths.append((key(kill, 5), key(kill, 1), when(line), enemy, not started))
        elif world or suicide:
            victim = key(world or suicide, 1)
            players[victim]["deaths"] += 1
            health.pop(victim, None)
            deaths.append((victim, None, when(line), False, not started))
        if m := ASSIST.search(line):
            players[key(m, 1)]["assists"] += 1
            players[key(m, 1)]["team_assists"] += m[4] == m[8]
            assisted.add(key(m, 1))
        if (m := FLASH.search(line)) and m[4] != m[8]:
            players[key(m, 1)]["flash_assists"] += 1
        if m := ATTACK.search(line):
            damage, after = int(m[9]), HEALTH.search(line)
            before = health.get(key(m, 5), 100)
            if after:
                health[key(m, 5)] = int(after[1])
            if m[4] != m[8]:
                p = players[key(m, 1)]
                p["damage"] += damage
                p["hits"] += 1
                if after and after[1] == "0":
                    p["overkill"] += max(0, damage - before)
        if m := HEAL.search(line):
            players[key(m, 1)]["heals"] += int(m[5])
        if m := UBER.search(line):
            players[key(m, 1)]["ubers"] += 1
        if m := DROP.search(line):
            players[key(m, 5)]["drops"] += 1
        if CAPTURE.search(line):
            for t in TOKENS.finditer(line):
                players[key(t, 1)]["captures"] += 1
        if m := CS_ROUND_END.search(line):
            match["score"] = m[1] + ":" + m[2]
            started = end_round()
        elif m := ROUND_WIN.search(line):
            match["wins"][m[1]] += 1
            started = end_round()
    return match


def joined_teams(lines):
    joined = defaultdict(set)
    for line in lines:
        m = JOINED.search(line)
        if m and m[3] not in ("Unassigned", "Spectator"):
            joined[m[1] if m[2] == "BOT" else m[2]].add(m[3])
    return joined


def won(match, teams):
    """Whether the one team he joined won the match; None for one who played for both."""
    if len(teams) != 1:
        return None
    team, rounds = next(iter(teams)), match["wins"]
    if len(match["score"].split(":")) == 2:
        ct, t = match["score"].split(":")
        rounds = {"CT": int(ct), "TERRORIST": int(t)}
    return rounds.get(team, 0) > max([n for side, n in rounds.items() if side != team] + [0])


def page_rows(match, tf2):
    """Each player's row of the game page's team tables."""
    rows = {}
    for name, p in match["players"].items():
        row = {k: p[k] for k in ("team", "kills", "deaths", "assists", "damage")}
        played = p["last"] - p["first"] + 1
        if tf2:
            row |= {k: p[k] for k in ("heals", "ubers", "drops", "captures")}
            row["dpm"] = round1(p["damage"] * 60 / match["seconds"])
        else:
            row |= {"adr": round1(p["damage"] / played), "kast": round1(100 * p["kast"] / played),
                    "first_kills": p["first_kills"]}
            row |= {"k%d" % (k + 2): p["multi"][k] for k in range(4)}
        rows[name] = row
    return rows


def number(text):
    try:
        return float(text)
    except ValueError:
        return 0.0


def server_tally(lines):
    """A CS2 server's own tally, its last round_stats block before "Game Over": each player's
    figures by field, the block's line, and the lines of the rounds it took back when it
    restored a round's backup."""
    last = block = {"round": 0, "line": -1, "players": {}, "back": None}
    fields, began, reloaded = [], {}, -1
    for i, line in enumerate(lines):
        text = line[WHEN.match(line).end():] if WHEN.match(line) else line
        if text.startswith("Game Over:"):
            break
        if text.startswith('World triggered "Match_Start"'):
            began.clear()
        if text.startswith('World triggered "Match_Reloaded"'):
            reloaded = i
        if text.startswith("JSON_BEGIN{"):
            block = {"round": 0, "line": i, "players": {}, "back": last["back"]}
        elif text.startswith("}}JSON_END"):
            last = copy.deepcopy(block)
        pair = BLOCK_PAIR.match(text)
        name, values = (pair[1], pair[2].split(",")) if pair else ("", [""])
        if name == "round_number":
            block["round"] = int(number(pair[2]))
            if reloaded >= 0 and block["round"] in began:
                block["back"] = last["back"] = (began[block["round"]], reloaded)
            reloaded = -1
            began.setdefault(block["round"], i)
        elif name == "fields":
            fields = [f.strip() for f in values]
        elif name.startswith("player_") and values[0].strip() != "0":  # 0: an empty slot
            p = dict(zip(fields, map(number, values)))
            p["hs"] = half_up(p.get("hsp", 0) * p.get("kills", 0) / 100)
            p["rounds"] = block["round"]  # the last one too, as the page counts
            block["players"]["[U:1:%s]" % values[0].strip()] = p
    return last


def server_ranges(lines, unexplained):
    """For each player the server counted: the [least, most] each page figure may be, once the
    page's figures have the last round (after the server's block) taken off as the log gives it.
    Where the server counts otherwise, the difference is worked out from the log and named."""
    server = server_tally(lines)
    whole, before = match_of(lines), match_of(lines, server["line"])
    back = server["back"] and [match_of(lines, at) for at in server["back"]]
    ranges = {}
    for name, counted in server["players"].items():
        p, upto = whole["players"][name], before["players"][name]

        def kept(figure):  # before the block, less what the server took back
            return upto[figure] - (back[1]["players"][name][figure] -
                                   back[0]["players"][name][figure] if back else 0)

        def exact(theirs, offset, less=0):
            return [counted.get(theirs, 0) - less + offset, counted.get(theirs, 0) + offset]

        last = {f: p[f] - upto[f] for f in ("kills", "deaths", "assists", "damage",
                                             "headshots", "first_kills")}
        r = {"kills": exact("kills", last["kills"]), "deaths": exact("deaths", last["deaths"]),
             # Named: it counts a flash assist as an assist, and no assist on a teammate's death.
             "assists": exact("assists", last["assists"] + kept("team_assists") -
                              kept("flash_assists"), unexplained),
             "headshots": exact("hs", last["headshots"]),
             "first_kills": exact("firstk", last["first_kills"]),
             "mvps": exact("mvp", 0),  # the last block's: the server writes none after the last round
             # Named: the server counts every round of the match, the page a player's from the
             # first to the last he did anything in.
             "rounds": exact("rounds", -p["first"] - (whole["rounds"] - 1 - p["last"]))}
        for k in range(1, 4):
            r["k%d" % (k + 2)] = exact("%dk" % (k + 2), p["multi"][k] - upto["multi"][k])
        # Named: it counts damage up to the victim's remaining health, sums each hit before the
        # log rounds it down (less than 1 a hit), and keeps the damage of rounds it takes back
        # (though not their kills).
        offset = last["damage"] + upto["overkill"] - upto["damage"] + kept("damage")
        dmg = counted.get("dmg", 0)
        r["damage"] = [math.floor(dmg + offset - upto["hits"]) + 1, math.floor(dmg + offset)]
        ranges[name] = r
    return ranges


def match_file(path):
    with open(path, "rb") as fh:
        lines = [decode(raw) for raw in split_lines(fh.read())]
    match, joined = match_of(lines), joined_teams(lines)
    out = {"rows": page_rows(match, not match["score"]), "seconds": match["seconds"],
           "score": match["score"], "won": {p: won(match, joined[p]) for p in match["players"]},
           "kills": Counter(), "headshots": Counter(),
           "parts": defaultdict(Counter), "shots": defaultdict(dict)}
    versus = Counter()  # enemy kills by killer and victim
    if any(line.endswith("JSON_BEGIN{") for line in lines):
        # Unexplained: in the mirage match it counts one player two assists more, in rounds
        # whose lines show none of his.
        out["server"] = server_ranges(lines, 2 if "de345abb" in path else 0)
    for line in lines:  # the whole log, warm-up too: the player pages count every game
        kill = KILL.search(line)
        if kill and "feign_death" not in line and kill[2] != kill[6] and kill[4] != kill[8]:
            out["kills"][key(kill, 1)] += 1
            if "(headshot)" in line:
                out["headshots"][key(kill, 1)] += 1
            versus[key(kill, 1), key(kill, 5)] += 1
        hit = HIT_GROUP.search(line)
        if hit and hit[2] != hit[6] and hit[4] != hit[8]:
            group = hit[9].lower()
            part = {"left arm": "arms", "right arm": "arms", "left leg": "legs",
                    "right leg": "legs"}.get(group, group if group in PARTS else "other")
            out["parts"][key(hit, 1)][part] += 1
        if shot := SHOT.search(line):
            fired_hit = out["shots"][key(shot, 1)].setdefault(shot[6], [0, 0])
            fired_hit[shot[5] == "shot_hit"] += 1
    # The two who killed each other most, for their head-to-head.
    pair = max(sorted(versus), key=lambda p: versus[p] + versus[p[::-1]], default=("", ""))
    out["rivals"] = {"players": pair, "kills_on_other": [versus[pair], versus[pair[::-1]]],
                     "kills": [out["kills"][p] for p in pair]}
    return out


# ---- kills per game and rounds per player, as the standings count them ----------------

PLAYER_AT = r'"(.+?)<(\d+)><([^>]*)><([^>]*)>"'
KILL_LINE = re.compile(PLAYER_AT + r" (?:\[[^\]]*\] )?killed " + PLAYER_AT, re.A)
SUICIDE_LINE = re.compile(PLAYER_AT + r" (?:\[[^\]]*\] )?committed suicide", re.A)
# A round's winner: Counter-Strike's team trigger with the score, or TF2's "Round_Win".
ROUND_END = re.compile(r'Team "([^"]+)" triggered "[^"]+" \(CT "|World triggered "Round_Win" '
                       r'\(winner "([^"]+)"', re.A)
ACCOUNT = re.compile(r"STEAM_\d:\d:\d+|\[U:\d:\d+\]", re.A)


def rounds_of(paths):
    """The files as one stream: kills (different uids, different teams) per game, a game
    starting at each "Loading map"; and the rounds each player (his Steam id, or his name where
    the id is no account of his) was in and won: he killed or died (a suicide too) on a playing
    side since the previous round ended, as the lines name his side. A round in which someone
    was on both sides (a warm-up with players changing teams) counts for nobody: the tables keep
    no side per kill. After a TF2 round its winners hunt the losers until the next
    "Round_Start": those kills are no round's."""
    games, rounds, sides, hunt = [], {}, defaultdict(set), False

    def add(m, at):
        own = ACCOUNT.fullmatch(m[at + 2]) and not m[at + 2].endswith((":12345", ":0"))
        if m[at + 3] in ("CT", "TERRORIST", "Red", "Blue"):
            sides[m[at + 2] if own else m[at]].add(m[at + 3])

    for path in paths:
        with open(path, "rb") as fh:
            lines = [raw.decode("latin-1") for raw in split_lines(fh.read())]
        for line in lines:
            kill = KILL_LINE.search(line)
            if ': Loading map "' in line:
                games.append(0)
                sides.clear()  # kills after a game's last round
            if kill and games and kill[2] != kill[6] and kill[4] != kill[8]:
                games[-1] += 1
            hunt = hunt and 'World triggered "Round_Start"' not in line
            if hunt:
                continue
            if kill and "feign_death" not in line:
                add(kill, 1)
                add(kill, 5)
            if suicide := SUICIDE_LINE.search(line):
                add(suicide, 1)
            if end := ROUND_END.search(line):
                for who, was in sides.items() if all(len(s) < 2 for s in sides.values()) else ():
                    player = rounds.setdefault(who, {"played": 0, "won": 0, "sides": set()})
                    player["played"] += 1
                    player["won"] += (end[1] or end[2]) in was
                    player["sides"] |= was
                sides.clear()
                hunt = end[2] is not None
    return {"kills_per_game": games,
            "rounds": {who: r | {"sides": len(r["sides"])} for who, r in rounds.items()}}


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
    if sys.argv[1:2] == ["--match"]:
        json.dump({path: match_file(path) for path in sys.argv[2:]}, sys.stdout)
    elif sys.argv[1:2] == ["--rounds"]:
        json.dump(rounds_of(sys.argv[2:]), sys.stdout)
    else:
        main(sys.argv[1:])
