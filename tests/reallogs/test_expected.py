#!/usr/bin/env python3
"""Hand-made lines for the counting rules that are easy to get wrong.
Run: python3 -m unittest test_expected   (from this folder)"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import expected  # noqa: E402

TS = "L 01/02/2024 - 10:00:00: "
CT_A = '"Alice<2><STEAM_0:0:11><CT>"'
T_B = '"Bob<3><STEAM_0:1:22><TERRORIST>"'


def figures(lines):
    """Figures of the given lines; str lines get a timestamp, bytes are sent as they are."""
    raw = [x if isinstance(x, bytes) else (TS + x).encode("utf-8") for x in lines]
    return expected.figures_of_lines(raw).result()


# (what, lines, figure, expected value)
ROWS = [
    ("positions on both tokens",
     [CT_A + ' [1 -2 3] killed ' + T_B + ' [4 5 -6] with "ak47"'],
     "kills_by_weapon", {"ak47": 1}),
    ("weapon names cut to 50 characters",
     [CT_A + ' killed ' + T_B + ' with "' + "w" * 60 + '"'], "kills_by_weapon", {"w" * 50: 1}),
    ("an empty weapon is no weapon",
     [CT_A + ' killed ' + T_B + ' with ""', CT_A + ' attacked ' + T_B + ' with "" (damage "1")'],
     "weapons", []),
    ("CS2 positions with decimals",
     [CT_A + ' [1.00 -2.50 3.03] killed ' + T_B + ' [4.0 5.0 -6.0] with "ak47"'], "kills", 1),
    ("headshot inside a multi-word flag group",
     [CT_A + ' killed ' + T_B + ' with "awp" (throughsmoke headshot)'], "headshots", 1),
    ("flag group without headshot",
     [CT_A + ' killed ' + T_B + ' with "awp" (penetrated) (noscope)'], "headshots", 0),
    ("TF2 customkill headshot property",
     ['"S<4><[U:1:7]><Red>" killed "D<5><[U:1:8]><Blue>" with "sniperrifle" '
      '(customkill "headshot") (attacker_position "1 2 3")'], "headshots", 1),
    ("headshot property value must be exact",
     ['"S<4><[U:1:7]><Red>" killed "D<5><[U:1:8]><Blue>" with "sniperrifle" '
      '(customkill "headshot_decapitation")'], "headshots", 0),
    ("a teamkill's headshot is no headshot",
     [CT_A + ' killed "Carl<4><STEAM_0:0:33><CT>" with "awp" (headshot)'], "headshots", 0),
    ("same team is a teamkill",
     [CT_A + ' killed "Carl<4><STEAM_0:0:33><CT>" with "awp"'], "teamkills", 1),
    ("both teams empty is a kill",
     ['"A<2><STEAM_0:0:11><>" killed "B<3><STEAM_0:0:22><>" with "crowbar"'], "kills", 1),
    ("tokens without a team group: a kill",
     ['"A<2><STEAM_0:0:11>" killed "B<3><STEAM_0:0:22>" with "crowbar"'], "kills", 1),
    ("token without team group names the player",
     ['"Czar<1><STEAM_ID_PENDING>" switched from team <CT> to <Unassigned>'],
     "players", ["Czar"]),
    ("same uid is a suicide even under another name",
     ['"A<7><BOT><CT>" killed "A2<7><BOT><CT>" with "world"'], "suicides", 1),
    ("same uid: no kill",
     ['"A<7><BOT><CT>" killed "A<7><BOT><CT>" with "world"'], "kills", 0),
    ("a kill by the world has no killer",
     ['"Duffy<3><BOT><CT>" [260 2031 1769] was killed by the bomb.'],
     "deaths_by_victim", {"Duffy": 1}),
    ("a kill by the world is a kill", ['"Duffy<3><BOT><CT>" was killed by the bomb.'],
     "kills_by_killer", {}),
    ("lives per class as written",
     ['"Bv<7><[U:1:88677982]><Blue>" spawned as "Soldier"',
      '"Bv<7><[U:1:88677982]><Blue>" spawned as "soldier"'],
     "lives_by_class", {"Soldier": 1, "soldier": 1}),
    ("a pickup's healing",
     ['"Rayno<163><[U:1:205162937]><Red>" picked up item "medkit_medium" (healing "41")',
      '"Rayno<163><[U:1:205162937]><Red>" picked up item "tf_ammo_pack"'],
     "pickup_healing", 41),
    ("a medic's death scores points, not his healing",
     ['"lax<165><[U:1:898216621]><Red>" triggered "medic_death" against '
      '".phl4rie<158><[U:1:178398866]><Blue>" (healing "3636") (ubercharge "1")'],
     "medic_scores", {"medic_death": 0}),
    ("committed suicide",
     ['"A<7><BOT><CT>" [1 2 3] committed suicide with "world"'], "weapons", ["world"]),
    ("shared placeholder id: players told apart by name",
     ['"A<2><STEAM_0:0:12345><CT>" killed "B<3><STEAM_0:0:12345><TERRORIST>" with "m4a1"'],
     "kills_by_killer", {"A": 1}),
    ("a real Steam id keys its player",
     ['"A<2><STEAM_0:0:12346><CT>" killed "B<3><STEAM_0:0:12345><TERRORIST>" with "m4a1"'],
     "kills_by_killer", {"STEAM_0:0:12346": 1}),
    ("killed other is no kill",
     [CT_A + ' [1 2 3] killed other "chicken<102>" [4 5 6] with "knife"'], "kills", 0),
    ("console lines count for nothing",
     ['"Console<0><Console><Console>" say "hello"'], "players", []),
    ("console lines open no game",
     ['"Console<0><Console><Console>" say "hello"'], "games", []),
    ("CS:GO assist",
     [CT_A + ' assisted killing ' + T_B], "assists", 1),
    ("TF2 kill assist",
     ['"A<2><[U:1:5]><Red>" triggered "kill assist" against "B<3><[U:1:6]><Blue>" '
      '(assister_position "1 2 3")'], "assists", 1),
    ("flash assist is no assist",
     [CT_A + ' flash-assisted killing ' + T_B], "assists", 0),
    ("flash assist still names its victim",
     [CT_A + ' flash-assisted killing ' + T_B], "players", ["STEAM_0:0:11", "STEAM_0:1:22"]),
    ("blinded by names the flasher",
     ['"GOTV<13><BOT><Unassigned>" blinded for 2.60 by ' + T_B + ' from flashbang entindex 78'],
     "players", ["GOTV", "STEAM_0:1:22"]),
    ("triggered against with a weapon before the groups names the victim",
     ['"A<2><[U:1:5]><Red>" triggered "player_extinguished" against "B<3><[U:1:6]><Red>" '
      'with "tf_weapon_medigun" (attacker_position "1 2 3")'], "players", ["[U:1:5]", "[U:1:6]"]),
    ("attacked: damage summed",
     [CT_A + ' [1 2 3] attacked ' + T_B + ' [4 5 6] with "glock" (damage "33") (damage_armor "4")',
      CT_A + ' attacked ' + T_B + ' with "glock" (damage "7")'], "damage", 40),
    ("TF2 damage trigger: weapon from its group",
     ['"A<2><[U:1:5]><Red>" triggered "damage" against "B<3><[U:1:6]><Blue>" '
      '(damage "22") (realdamage "21") (weapon "pistol_scout")'], "weapons", ["pistol_scout"]),
    ("damage trigger without victim is an attack (older TF2)",
     ['"A<2><STEAM_0:0:5><Red>" triggered "damage" (damage "65")'], "damage", 65),
    ("a Spy's feigned death is no kill",
     ['"A<2><[U:1:5]><Red>" killed "B<3><[U:1:6]><Blue>" with "knife" (customkill "feign_death")'],
     "kills", 0),
    ("byte order mark before the time",
     [b"\xef\xbb\xbf" + (TS + '"A<2><BOT><CT>" entered the game').encode()], "players", ["A"]),
    ("name with quotes and groups",
     ['"Banana"Ninja<1>:3<18><BOT><Blue>" killed "x<2><BOT><Red>" with "scattergun"'],
     "kills_by_killer", {'Banana"Ninja<1>:3': 1}),
    ("two readings: the longest first token whose verb parses",
     ['"a<1><BOT><>" killed "b<2><BOT><CT>" killed "c<3><BOT><T>" with "awp"'],
     "kills_by_killer", {'a<1><BOT><>" killed "b': 1}),
    ("Latin-1 name when the line is not UTF-8",
     [(TS + '"Jos').encode() + b'\xe9<2><BOT><CT>" entered the game'], "players", ["Jos\u00e9"]),
    ("Windows-1252 byte",
     [(TS + '"x').encode() + b'\x80<2><BOT><CT>" entered the game'], "players", ["x\u20ac"]),
    ("byte Windows-1252 leaves undefined: a control, left out",
     [(TS + '"x').encode() + b'\x81<2><BOT><CT>" entered the game'], "players", ["x"]),
    ("UTF-8 name stays UTF-8",
     ['"Jos\u00e9<2><BOT><CT>" entered the game'], "players", ["Jos\u00e9"]),
    ("bot name of 50 characters is kept",
     ['"' + "B" * 50 + '<2><BOT><CT>" entered the game'], "players", ["B" * 50]),
    ("bot name of 51 characters is shortened with its hash",
     ['"' + "B" * 51 + '<2><BOT><CT>" entered the game'], "players", ["B" * 41 + "~410e4d05"]),
    ("bot named like a unique id gets a tilde",
     ['"STEAM_0:0:5<2><BOT><CT>" entered the game', '"123<3><BOT><CT>" entered the game'],
     "players", ["~123", "~STEAM_0:0:5"]),
    ("plain number id is unique, 0 is not",
     ['"A<2><7><>" entered the game', '"B<3><0><>" entered the game'], "players", ["7", "B"]),
    ("Loading then Started of the same map: one game",
     ['Loading map "de_dust2"', 'Started map "de_dust2" (CRC "1")'], "games", ["de_dust2"]),
    ("Started of another map opens a game",
     ['Loading map "a"', 'Started map "b"'], "games", ["a", "b"]),
    ("a second Started map opens a game",
     ['Loading map "a"', 'Started map "a"', 'Started map "a"'], "games", ["a", "a"]),
    ("Loading map always opens a game",
     ['Loading map "a"', 'Started map "a"', 'Loading map "a"'], "games", ["a", "a"]),
    ("player event before any map opens a game without one",
     [CT_A + ' entered the game', 'Loading map "a"'], "games", [None, "a"]),
    ("non-event lines open no game",
     ['Log file started (file "x")', 'server_cvar: "sv_cheats" "0"'], "games", []),
    ("Log file closed continues the game",
     ['Loading map "a"', 'Started map "a"', "Log file closed", 'Log file started (file "y")',
      'Team "CT" triggered "CTs_Win" (CT "1") (T "0")'], "round_wins", {"a|CT": 1}),
    ("Log file closed opens no new game",
     ['Started map "a"', CT_A + ' killed ' + T_B + ' with "ak47"', "Log file closed",
      'Log file started (file "y")', CT_A + ' killed ' + T_B + ' with "ak47"'], "games", ["a"]),
    ("round win without map, World winner",
     ['World triggered "Round_Win" (winner "Blue")'], "round_wins", {"|Blue": 1}),
    ("Team trigger without score groups is no round win",
     ['Team "Red" triggered "pointcaptured" (cp "0")'], "round_wins", {}),
    ("World trigger with score groups is no round win",
     ['World triggered "Game_Commencing" (CT "0") (T "0")'], "round_wins", {}),
    ("lines without timestamp count only as lines",
     [b"Blue Team:", b"L 13/02/2024 - 10:00:00: x", "Log file closed"], "log_lines", 1),
]


class CountingRules(unittest.TestCase):
    def test_rows(self):
        for what, lines, figure, value in ROWS:
            with self.subTest(what):
                self.assertEqual(figures(lines)[figure], value)

    def test_fnv1a_known_values(self):
        for data, value in [(b"", 0x811C9DC5), (b"a", 0xE40C292C), (b"foobar", 0xBF9CF968)]:
            self.assertEqual(expected.fnv1a(data), value)

    def test_line_splitting(self):
        # (file bytes, datagrams)
        for data, lines in [
            (b"a\r\nb\n", [b"a", b"b"]),
            (b"a\n\n\r\nb", [b"a", b"b"]),   # empty lines skipped, last line kept
            (b"a\r\r\n", [b"a\r"]),          # one CR only
            (b"\xef\xbb\xbfL x\n", [b"\xef\xbb\xbfL x"]),
        ]:
            with self.subTest(data):
                self.assertEqual(list(expected.split_lines(data)), lines)


if __name__ == "__main__":
    unittest.main()
