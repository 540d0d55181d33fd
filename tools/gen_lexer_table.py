#!/usr/bin/env python3
"""Generates runtime/lexer/lexer_table.cpp: the character classes and the token
automaton of the lexer.

Run from the repository root:  python3 tools/gen_lexer_table.py
The output is checked in; rerun this script after editing a rule and commit both.

How to read the rules
---------------------
Every input byte falls into one of 40 classes (CLASSES below). The automaton has 65
working states (0-64); a transition into a state of 66 or more ends the token without
consuming the byte that led there. Each state is written as

    state(N, "name", TYPE, default=NEXT, rules...)

where each rule is (set of classes, next state). Rules are applied in order over the
default, so a later rule overrides an earlier one for the classes it names. TYPE is the
datatype id a token was heading for in that state; the error report names it when the
token fails there (0: none, the report is then "invalid character").

Class sets used by the rules:
  DELIM     blank, line feed, control byte, end of input (and NUL), [ ] ( ) { } " ;
  WORD      the characters that continue a word: letters, digits, the multi-byte
            characters (lead and continuation bytes), ' . + - ! & * ? = > ^ | ~ _ `
  WSTART    the characters that may start a word (WORD without digits, ' and the
            continuation bytes); + - . ' : < have their own start states

Choices where the token syntax leaves a corner open
  - A file name ends at a delimiter, '<' or '>'; "%%" not followed by '{' is an error.
  - A word led by A-F or E that ends in 'h' is a hexadecimal integer ("ABh"); the loader
    wants 2-8 digits, so "Eh" fails there. Letters after the 'h' keep it a word ("Bhat").
  - After "1.#" any letters are read; the loader accepts only INF and NaN.
  - The automaton reads "1.5x2", "1.2." and the like through to their final state; the
    loaders refuse what is not well formed (pair without a point, tuple parts...).
  - Path items: words, get-words, integers, floats, strings, parens, issues, chars, tags,
    refs. Money ends at a delimiter, so "$1/x" is an error rather than a path.
  - A comma ends a date, time, number, tuple, pair or money token; in a word or an issue
    it is an error.
  - Inside a point literal (after the '(') digits, letters, blanks, line feeds and number
    punctuation are read up to ')'; the point loader checks the parts.
"""

import os
import sys

# ---------------------------------------------------------------------------------------
# Character classes: (class number, bytes, flag bits). Bits 0-7 of an entry hold the
# class, bits 8-31 flags OR-ed into the token flag word while a token is read.
# ---------------------------------------------------------------------------------------

BLANK, LF, DIGIT, ZERO, LBRACK, RBRACK, LPAREN, RPAREN, LBRACE, RBRACE = range(10)
DQUOTE, HASH, QUOTE, COLON, X, T, H, LE, UE, HEXL = range(10, 20)
HEXU, SLASH, BSLASH, LT, GT, EQ, PCT, COMMA, SEMI, AT = range(20, 30)
DOT, DOLLAR, PLUS, MINUS, CARET, CTRL, CONT, LETTER, INVALID, END = range(30, 40)

CLASS_NAMES = ["blank", "line-feed", "digit", "zero", "[", "]", "(", ")", "{", "}",
               '"', "#", "'", ":", "x", "T", "h", "e", "E", "abcdf",
               "ABCDF", "/", "\\", "<", ">", "=", "%", ",", ";", "@",
               ".", "$", "+", "-", "^", "control", "continuation", "letter", "invalid",
               "end"]


def char_classes():
    table = [None] * 256
    flags = [0] * 256

    def put(bytes_, cls, flag=0):
        for b in bytes_:
            assert table[b] is None, hex(b)
            table[b] = cls
            flags[b] = flag

    def chars(s):
        return [ord(c) for c in s]

    put([0x09, 0x0D, 0x20], BLANK)
    put([0x0A], LF)
    put(chars("123456789"), DIGIT)
    put(chars("0"), ZERO)
    put(chars("["), LBRACK)
    put(chars("]"), RBRACK)
    put(chars("("), LPAREN)
    put(chars(")"), RPAREN)
    put(chars("{"), LBRACE)
    put(chars("}"), RBRACE)
    put(chars('"'), DQUOTE)
    put(chars("#"), HASH, 1 << 23)
    put(chars("'"), QUOTE, 1 << 25)
    put(chars(":"), COLON, 1 << 26)
    put(chars("xX"), X)
    put(chars("T"), T)
    put(chars("h"), H)
    put(chars("e"), LE, 1 << 24)
    put(chars("E"), UE, 1 << 24)
    put(chars("abcdf"), HEXL)
    put(chars("ABCDF"), HEXU)
    put(chars("/"), SLASH)
    put(chars("\\"), BSLASH)
    put(chars("<"), LT, 1 << 20)
    put(chars(">"), GT, 1 << 19)
    put(chars("="), EQ)
    put(chars("%"), PCT, 1 << 18)
    put(chars(","), COMMA, 1 << 27)
    put(chars(";"), SEMI)
    put(chars("@"), AT)
    put(chars("."), DOT, 1 << 28)
    put(chars("$"), DOLLAR)
    put(chars("+"), PLUS, 1 << 21)
    put(chars("-"), MINUS, 1 << 21)
    put(chars("^"), CARET, 1 << 29)
    put(list(range(0x01, 0x09)) + [0x0B, 0x0C] + list(range(0x0E, 0x20)), CTRL)
    put([0x7F] + list(range(0x80, 0xC0)), CONT)
    letters = [c for c in range(0x41, 0x5B) if table[c] is None] + \
              [c for c in range(0x61, 0x7B) if table[c] is None]
    put(chars("!&*?_|~`") + letters, LETTER)
    for b in range(0xC2, 0xF8):
        put([b], LETTER, (1 << 30) if b <= 0xEF else (1 << 31))
    put([0xC0, 0xC1] + list(range(0xF8, 0x100)), INVALID)
    put([0x00], END, 1 << 22)
    assert all(t is not None for t in table)
    return [t | f for t, f in zip(table, flags)]


# ---------------------------------------------------------------------------------------
# Class sets
# ---------------------------------------------------------------------------------------

ALL = set(range(40))
DIGITS = {DIGIT, ZERO}
BLANKS = {BLANK, LF, CTRL}
DELIM = BLANKS | {END, LBRACK, RBRACK, LPAREN, RPAREN, LBRACE, RBRACE, DQUOTE, SEMI}
ALPHA = {X, T, H, LE, UE, HEXL, HEXU, LETTER}          # ASCII letters, ! & * ? _ | ~ `, leads
WORD = ALPHA | DIGITS | {QUOTE, DOT, PLUS, MINUS, CARET, CONT, GT, EQ}
WSTART = ALPHA | {CARET, GT, EQ}
HEXDIG = DIGITS | {HEXU, UE}
NUMEND = DELIM | {LT, COMMA, SEMI}                       # what may follow a number

# Final states.
F_END, F_ERROR, F_LBRACK, F_RBRACK, F_LPAREN, F_RPAREN, F_LBRACE, F_RBRACE = range(66, 74)
F_MAP, F_PATH, F_CONSTRUCT, F_COMMENT, F_COMMA, F_STRING, F_WORD, F_ISSUE = range(74, 82)
F_INTEGER, F_REFINEMENT, F_CHAR, F_FILE, F_BINARY, F_PERCENT, F_FLOAT, F_SPECIAL = range(82, 90)
F_TUPLE, F_DATE, F_PAIR, F_POINT, F_TIME, F_MONEY, F_TAG, F_URL = range(90, 98)
F_EMAIL, F_HEX, F_RAW, F_REF = range(98, 102)

FINAL_TYPES = {  # datatype ids of the final states
    F_END: 0, F_ERROR: 34, F_LBRACK: 0, F_RBRACK: 0, F_LPAREN: 0, F_RPAREN: 0,
    F_LBRACE: 0, F_RBRACE: 7, F_MAP: 0, F_PATH: 0, F_CONSTRUCT: 0, F_COMMENT: 0,
    F_COMMA: 0, F_STRING: 7, F_WORD: 15, F_ISSUE: 20, F_INTEGER: 11, F_REFINEMENT: 19,
    F_CHAR: 10, F_FILE: 8, F_BINARY: 41, F_PERCENT: 38, F_FLOAT: 12, F_SPECIAL: 12,
    F_TUPLE: 39, F_DATE: 47, F_PAIR: 37, F_POINT: 51, F_TIME: 43, F_MONEY: 49, F_TAG: 44,
    F_URL: 9, F_EMAIL: 45, F_HEX: 11, F_RAW: 7, F_REF: 50,
}

NONE_T, STRING_T, FILE_T, URL_T, CHAR_T, INTEGER_T, FLOAT_T = 0, 7, 8, 9, 10, 11, 12
WORD_T, SET_WORD_T, REFINEMENT_T, ISSUE_T, PATH_T, PAIR_T = 15, 16, 19, 20, 25, 37
TUPLE_T, BINARY_T, TIME_T, TAG_T, EMAIL_T, DATE_T, MONEY_T, REF_T, POINT_T = \
    39, 41, 43, 44, 45, 47, 49, 50, 51

STATES = {}


def state(n, name, type_, default, *rules):
    assert n not in STATES, n
    row = [default] * 40
    for classes, nxt in rules:
        for c in classes:
            row[c] = nxt
    STATES[n] = (name, type_, row)


def S(*classes):
    return set(classes)


# Word tail shared by the word states: where a word ends and what it turns into.
WORD_TAIL = [
    (WORD, 52),
    (S(COLON), 53),            # a: set-word, a:b url
    (S(SLASH), F_PATH),        # a/ opens a path
    (S(AT), 56),               # a@b email
    (S(DOLLAR), 36),           # EUR$1 money
    (DELIM | S(LT, HASH, BSLASH), F_WORD),
    (S(PCT, COMMA, INVALID), F_ERROR),
]

# ---------------------------------------------------------------------------------------
# The states
# ---------------------------------------------------------------------------------------

# 0: between tokens in normal mode. Blanks, line feeds and control bytes are skipped.
state(0, "start", NONE_T, F_ERROR,
      (BLANKS, 0), (DIGITS, 23), (S(LBRACK), F_LBRACK), (S(RBRACK), F_RBRACK),
      (S(LPAREN), F_LPAREN), (S(RPAREN), F_RPAREN), (S(LBRACE), F_LBRACE),
      (S(RBRACE), F_ERROR), (S(DQUOTE), 2), (S(HASH), 16), (S(QUOTE, COLON), 51),
      (S(SLASH), 13), (S(LT), 43), (S(PCT), 6), (S(COMMA), F_COMMA), (S(SEMI), 1),
      (S(AT), 57), (S(DOT), 49), (S(DOLLAR), 36), (S(PLUS, MINUS), 47),
      (S(UE, HEXU), 40), (WSTART - S(UE, HEXU), 52), (S(END), F_END))
# 1: ; comment, up to the line feed (left for the next token so that it counts).
state(1, "comment", NONE_T, 1, (S(LF, END), F_COMMENT))
# 2-3: "..." string; ^ escapes the next byte; a line feed or the end is an error.
state(2, "string", STRING_T, 2, (S(DQUOTE), F_STRING), (S(CARET), 3),
      (S(LF, INVALID, END), F_ERROR))
state(3, "string-escape", STRING_T, 2, (S(LF, INVALID, END), F_ERROR))
# 4-5: inside {...} (a start state). Segments end at { and }, which the scanner counts.
state(4, "braced", STRING_T, 4, (S(LBRACE), F_LBRACE), (S(RBRACE), F_RBRACE),
      (S(CARET), 5), (S(INVALID), F_ERROR), (S(END), F_END))
state(5, "braced-escape", STRING_T, 4, (S(INVALID, END), F_ERROR))
# 6-9: %file, %"quoted file"; %{ opens a raw string, %% a raw string with more percents.
FILE_END = DELIM | S(LT, GT)
state(6, "percent", FILE_T, 7, (FILE_END, F_WORD), (S(DQUOTE), 8), (S(LBRACE), 11),
      (S(PCT), 10), (S(INVALID), F_ERROR))
state(7, "file", FILE_T, 7, (FILE_END, F_FILE), (S(INVALID), F_ERROR))
state(8, "quoted-file", FILE_T, 8, (S(DQUOTE), F_FILE), (S(CARET), 9),
      (S(LF, INVALID, END), F_ERROR))
state(9, "quoted-file-escape", FILE_T, 8, (S(LF, INVALID, END), F_ERROR))
# 10-12, 54: raw string %{...}%, %%{...}%%. The token ends at the first } followed by
# percents and a delimiter; the scanner matches the percent counts.
state(10, "raw-open", STRING_T, F_ERROR, (S(PCT), 10), (S(LBRACE), 11))
state(11, "raw", STRING_T, 11, (S(RBRACE), 12), (S(END), F_ERROR))
state(12, "raw-brace", STRING_T, 11, (S(RBRACE), 12), (S(PCT), 54), (S(END), F_ERROR))
state(54, "raw-close", STRING_T, 11, (S(RBRACE), 12), (S(PCT), 54), (DELIM, F_RAW))
# 13-14: / at the start: "/" and "//" are words, /name a refinement, "/:" a set-word.
state(13, "slash", WORD_T, F_ERROR, (WORD, 14), (S(SLASH), 41), (S(COLON), 41),
      (DELIM | S(LT), F_REFINEMENT))
state(14, "refinement", REFINEMENT_T, F_ERROR, (WORD, 14),
      (DELIM | S(LT, SLASH), F_REFINEMENT))
# 41: the end of an operator word ("<<" "<=" "<>" "<-" "//" "/:").
state(41, "operator", WORD_T, F_ERROR, (DELIM, F_WORD))
# 16, 22: # issue; #{ binary, #" char, #( construction, #[ map.
state(16, "hash", ISSUE_T, F_ERROR, (WORD | S(HASH, PCT, DOLLAR), 22), (S(LBRACE), 17),
      (S(DQUOTE), 19), (S(LPAREN), 21), (S(LBRACK), F_MAP))
state(22, "issue", ISSUE_T, F_ERROR, (WORD | S(HASH, PCT, DOLLAR), 22),
      (DELIM | S(SEMI, AT, LT), F_ISSUE))
# 17-18: binary body; ; starts a comment to the end of the line.
state(17, "binary", BINARY_T, F_ERROR, (DIGITS | ALPHA | S(PLUS, SLASH, EQ, BLANK, LF), 17),
      (S(SEMI), 18), (S(RBRACE), F_BINARY))
state(18, "binary-comment", NONE_T, 18, (S(LF), 17), (S(END), F_ERROR))
# 19-20: #"c" char; ^ escapes the next byte.
state(19, "char", CHAR_T, 19, (S(DQUOTE), F_CHAR), (S(CARET), 20),
      (S(LF, INVALID, END), F_ERROR))
state(20, "char-escape", CHAR_T, 19, (S(LF, INVALID, END), F_ERROR))
# 21: #(...) construction, up to the first ).
state(21, "construct", NONE_T, 21, (S(RPAREN), F_CONSTRUCT),
      (S(LPAREN, LF, INVALID, END), F_ERROR))
# 23: digits. The row is the heart of the number syntax.
state(23, "digits", INTEGER_T, F_ERROR,
      (DIGITS | S(QUOTE), 23), (S(DOT), 24), (S(LE), 26), (S(UE), 27), (S(X), 33),
      (S(COLON), 31), (S(T, SLASH, MINUS), 30), (S(H), 42), (S(HEXU), 39), (S(HASH), 16),
      (S(AT), 56), (S(PCT), F_PERCENT), (NUMEND, F_INTEGER))
# 24-28, 50, 15: floats. 27 is an E that may still turn out a hexadecimal digit.
state(24, "point", FLOAT_T, F_ERROR, (DIGITS, 25), (S(HASH), 15), (S(LE), 26), (S(UE), 27),
      (S(PCT), F_PERCENT), (NUMEND, F_FLOAT))
state(25, "fraction", FLOAT_T, F_ERROR, (DIGITS | S(QUOTE), 25), (S(DOT), 29), (S(LE), 26),
      (S(UE), 27), (S(X), 33), (S(PCT), F_PERCENT), (NUMEND, F_FLOAT))
state(26, "exponent", FLOAT_T, F_ERROR, (DIGITS, 28), (S(PLUS, MINUS), 50))
state(27, "exponent-or-hex", FLOAT_T, F_ERROR, (DIGITS, 28), (S(PLUS, MINUS), 50),
      (S(HEXU, UE), 39), (S(H), 42))
state(28, "exponent-digits", FLOAT_T, F_ERROR, (DIGITS, 28), (S(HEXU, UE), 39), (S(H), 42),
      (S(PCT), F_PERCENT), (NUMEND, F_FLOAT))
state(50, "exponent-sign", FLOAT_T, F_ERROR, (DIGITS, 28))
state(15, "special-float", FLOAT_T, F_ERROR, (ALPHA, 15), (NUMEND, F_SPECIAL))
# 29: tuple, three or more dotted digit runs.
state(29, "tuple", TUPLE_T, F_ERROR, (DIGITS | S(DOT), 29), (NUMEND, F_TUPLE))
# 30: date, any run of letters, digits and date punctuation; the loader checks the form.
state(30, "date", DATE_T, F_ERROR, (DIGITS | ALPHA | S(MINUS, SLASH, COLON, PLUS, DOT), 30),
      (DELIM | S(LT, COMMA, SEMI), F_DATE))
# 31-32: time.
state(31, "time-colon", TIME_T, F_ERROR, (DIGITS, 32))
state(32, "time", TIME_T, F_ERROR, (DIGITS | S(COLON, DOT), 32), (NUMEND, F_TIME))
# 33-34: pair NxM.
state(33, "pair-x", PAIR_T, F_ERROR, (DIGITS | S(PLUS, MINUS), 34))
state(34, "pair", PAIR_T, F_ERROR, (DIGITS | S(DOT, QUOTE), 34), (NUMEND, F_PAIR))
# 35: inside a point literal (a start state, after the '(').
state(35, "point-literal", POINT_T, F_ERROR,
      (DIGITS | S(BLANK, LF, COMMA, DOT, PLUS, MINUS, HASH, QUOTE, LE, UE, HEXL, HEXU,
                  LETTER), 35),
      (S(RPAREN), F_POINT))
# 36-38: money.
state(36, "money-sign", MONEY_T, F_ERROR, (DIGITS, 37))
state(37, "money", MONEY_T, F_ERROR, (DIGITS | S(QUOTE), 37), (S(DOT), 38),
      (DELIM | S(LT, COMMA, SEMI), F_MONEY))
state(38, "money-fraction", MONEY_T, F_ERROR, (DIGITS, 38),
      (DELIM | S(LT, COMMA, SEMI), F_MONEY))
# 39-40, 42, 58: hexadecimal integers ending in h (upper-case digits only).
state(39, "hex-digits", NONE_T, F_ERROR, (HEXDIG, 39), (S(H), 42), (S(AT), 56))
state(40, "hex-or-word", INTEGER_T, F_ERROR, *WORD_TAIL, (HEXDIG, 40), (S(H), 58))
state(42, "hex", INTEGER_T, F_ERROR, (NUMEND, F_HEX))
state(58, "hex-or-word-h", WORD_T, F_ERROR, *WORD_TAIL, (NUMEND, F_HEX))
# 43-46: < is a word by itself, starts "<<" "<=" "<>" "<-", or opens a tag.
state(43, "less", TAG_T, 44, (DELIM, F_WORD), (S(LT, GT, EQ, MINUS), 41),
      (S(COLON, INVALID), F_ERROR))
state(44, "tag", TAG_T, 44, (S(GT), F_TAG), (S(DQUOTE), 45), (S(QUOTE), 46),
      (S(INVALID, END), F_ERROR))
state(45, "tag-dquote", TAG_T, 45, (S(DQUOTE), 44), (S(INVALID, END), F_ERROR))
state(46, "tag-quote", TAG_T, 46, (S(QUOTE), 44), (S(INVALID, END), F_ERROR))
# 47-49: + - . at the start: numbers when a digit follows, else words.
state(47, "sign", WORD_T, F_ERROR, *WORD_TAIL, (DIGITS, 23), (S(DOT), 48), (S(DOLLAR), 36))
state(48, "sign-point", WORD_T, F_ERROR, *WORD_TAIL, (DIGITS, 25))
state(49, "leading-point", WORD_T, F_ERROR, *WORD_TAIL, (DIGITS, 25))
# 51: ' or : at the start: lit-word and get-word.
state(51, "word-prefix", WORD_T, F_ERROR, (WSTART | S(PLUS, MINUS, DOT), 52), (S(SLASH), 13),
      (S(LT), 41))
# 52-53: word; a colon ends a set-word or starts a url.
state(52, "word", WORD_T, F_ERROR, *WORD_TAIL)
state(53, "set-word", SET_WORD_T, 55, (DELIM | S(LT), F_WORD), (S(BSLASH, INVALID), F_ERROR))
# 55-57: url, email, ref.
state(55, "url", URL_T, 55, (DELIM | S(LT, BSLASH), F_URL), (S(INVALID), F_ERROR))
state(56, "email", EMAIL_T, F_ERROR, (DIGITS | ALPHA | S(DOT, MINUS, PLUS, PCT, CONT), 56),
      (NUMEND, F_EMAIL))
state(57, "ref", REF_T, F_ERROR, (WORD | S(COLON, SLASH, PCT), 57), (NUMEND, F_REF))
# 59-64: path items (a start state, after a '/').
state(59, "path", PATH_T, F_ERROR, (WSTART | S(PLUS, MINUS, DOT), 61), (DIGITS, 60),
      (S(COLON), 64), (S(HASH), 63), (S(DQUOTE), 2), (S(LPAREN), F_LPAREN), (S(LT), 43),
      (S(AT), 57), (S(DOLLAR), 36))
PATH_END = DELIM | S(SLASH, COLON)
state(60, "path-integer", INTEGER_T, F_ERROR, (DIGITS | S(QUOTE), 60), (S(DOT), 62),
      (PATH_END, F_INTEGER))
state(62, "path-fraction", FLOAT_T, F_ERROR, (DIGITS | S(QUOTE), 62), (PATH_END, F_FLOAT))
state(61, "path-word", WORD_T, F_ERROR, (WORD, 61), (PATH_END | S(LT), F_WORD))
# A '"' after the '#' makes a char (a/#"a"); the path's end rule must not override it.
state(63, "path-issue", ISSUE_T, F_ERROR, (WORD, 63), (PATH_END, F_ISSUE), (S(DQUOTE), 19))
state(64, "path-get-word", WORD_T, F_ERROR, (WSTART | S(PLUS, MINUS, DOT), 61))

# ---------------------------------------------------------------------------------------
# Checks: the rows that the language fixes, and the shape of the tables.
# ---------------------------------------------------------------------------------------


def check():
    assert sorted(STATES) == list(range(65)), sorted(set(range(65)) - set(STATES))
    row = {n: STATES[n][2] for n in STATES}
    for n, (_, _, r) in STATES.items():
        for c, nxt in enumerate(r):
            assert 0 <= nxt <= 101 and nxt != 65, (n, c, nxt)
    r0 = row[0]
    assert r0[BLANK] == r0[LF] == r0[CTRL] == 0 and r0[DIGIT] == 23 and r0[END] == F_END
    assert r0[RBRACE] == F_ERROR and r0[QUOTE] == r0[COLON] == 51 and r0[AT] == 57
    assert r0[UE] == r0[HEXU] == 40 and r0[LETTER] == r0[X] == r0[LE] == 52
    r23 = row[23]
    for c, n in [(DIGIT, 23), (QUOTE, 23), (DOT, 24), (LE, 26), (UE, 27), (X, 33),
                 (COLON, 31), (T, 30), (SLASH, 30), (MINUS, 30), (H, 42), (HEXU, 39),
                 (HASH, 16), (AT, 56), (PCT, F_PERCENT), (LT, F_INTEGER),
                 (COMMA, F_INTEGER), (SEMI, F_INTEGER), (END, F_INTEGER),
                 (LETTER, F_ERROR), (DOLLAR, F_ERROR)]:
        assert r23[c] == n, (c, r23[c])
    r52 = row[52]
    for c, n in [(COLON, 53), (SLASH, F_PATH), (AT, 56), (DOLLAR, 36), (LT, F_WORD),
                 (PCT, F_ERROR), (COMMA, F_ERROR), (DIGIT, 52), (QUOTE, 52)]:
        assert r52[c] == n, (c, r52[c])
    r2 = row[2]
    assert r2[DQUOTE] == F_STRING and r2[CARET] == 3 and r2[LF] == r2[END] == F_ERROR
    assert all(row[3][c] == 2 for c in ALL - S(LF, INVALID, END))


def emit(path):
    classes = char_classes()
    out = []
    w = out.append
    w("// Generated by tools/gen_lexer_table.py from the rules written there; do not edit.")
    w("// The character classes and the token automaton of the lexer.")
    w('#include "runtime/lexer/lexer_table.h"')
    w("")
    w("namespace vyr::lexer {")
    w("")
    w("const u32 char_classes[256] = {")
    for i in range(0, 256, 8):
        w("  " + " ".join("0x%08X," % v for v in classes[i:i + 8]))
    w("};")
    w("")
    w("const u8 transitions[STATE_COUNT][CLASS_COUNT] = {")
    for n in range(65):
        name, _, r = STATES[n]
        w("  {" + ",".join("%3d" % v for v in r) + "},  // %d %s" % (n, name))
    w("};")
    w("")
    skip = [1 if n == 0 else 0 for n in range(104)]
    w("const u8 skip_table[104] = {")
    for i in range(0, 104, 26):
        w("  " + ",".join(str(v) for v in skip[i:i + 26]) + ",")
    w("};")
    w("")
    w("const u8 line_table[CLASS_COUNT] = {")
    w("  " + ",".join("1" if c == LF else "0" for c in range(40)) + ",")
    w("};")
    w("")
    types = [0] * 104
    for n, (_, t, _) in STATES.items():
        types[n] = t
    for f, t in FINAL_TYPES.items():
        types[f] = t
    w("const u8 final_types[104] = {")
    for i in range(0, 104, 26):
        w("  " + ",".join(str(v) for v in types[i:i + 26]) + ",")
    w("};")
    w("")
    w("const char* const state_names[STATE_COUNT] = {")
    for n in range(65):
        w('  "%s",' % STATES[n][0])
    w("};")
    w("")
    w("}  // namespace vyr::lexer")
    text = "\n".join(out) + "\n"
    with open(path, "w") as f:
        f.write(text)


if __name__ == "__main__":
    check()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        root, "runtime", "lexer", "lexer_table.cpp")
    emit(target)
