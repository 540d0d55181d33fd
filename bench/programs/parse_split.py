# The same work as parse_split.vyr: scan the text, copying each field up to its delimiter.
line = "alpha,beta,gamma,delta,1234567\n"
text = "".join(line for _ in range(100000))
fields = []
pos = 0
n = len(text)
while pos < n:
    for _ in range(4):
        end = text.index(",", pos)
        fields.append(text[pos:end])
        pos = end + 1
    end = text.index("\n", pos)
    fields.append(text[pos:end])
    pos = end + 1
print(len(fields))
print(fields[-1])
