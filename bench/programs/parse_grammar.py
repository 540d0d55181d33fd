# The same grammar as parse_grammar.vyr, matched by recursive descent over a token list.
class Word(str):
    pass

def make_data():
    one = [Word("set"), Word("x"), 1, Word("+"), 2, Word("*"), Word("y"), Word("-"),
           [3, Word("+"), Word("z")], Word("/"), 4,
           Word("set"), Word("y"), Word("x"), Word("*"), [Word("x"), Word("-"), 1]]
    data = []
    for _ in range(50000):
        data.extend(one)
    return data

def factor(d, i):
    if i >= len(d):
        return -1
    v = d[i]
    if type(v) is int or (type(v) is Word and v not in ("+", "-", "*", "/")):
        return i + 1
    if type(v) is list:
        j = expr(v, 0)
        return i + 1 if j == len(v) else -1
    return -1

def term(d, i):
    i = factor(d, i)
    if i < 0:
        return -1
    while i < len(d) and d[i] in ("*", "/") and type(d[i]) is Word:
        j = factor(d, i + 1)
        if j < 0:
            break
        i = j
    return i

def expr(d, i):
    i = term(d, i)
    if i < 0:
        return -1
    while i < len(d) and type(d[i]) is Word and d[i] in ("+", "-"):
        j = term(d, i + 1)
        if j < 0:
            break
        i = j
    return i

data = make_data()
count = 0
i = 0
while i < len(data) and data[i] == "set" and type(data[i + 1]) is Word:
    j = expr(data, i + 2)
    if j < 0:
        break
    count += 1
    i = j
print(i == len(data))
print(count)
