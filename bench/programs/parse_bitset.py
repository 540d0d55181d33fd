# The same work as parse_bitset.vyr: count the runs of digits of a 10 MB text.
import re
line = "alpha 12345 beta 678 gamma 9\n"
text = "".join(line for _ in range(344828))
print(len(re.findall(r"[0-9]+", text)))
