#!/usr/bin/python3
"""Imports relikorda-recover's contacts.vcf with vobject, as an address book would: every card must
parse and validate, and the sample phone's contacts must come through with their marks."""
import base64
import os
import subprocess
import sys
import tempfile

import vobject


def main(program, phone):
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([program, "--device", phone, "--out", out + "/o"], check=True, stdout=subprocess.DEVNULL)
        runs = os.listdir(out + "/o")  # each run writes into a folder of its own
        assert len(runs) == 1, runs
        with open(out + "/o/" + runs[0] + "/contacts.vcf", encoding="utf-8", newline="") as f:
            text = f.read()
    cards = {}
    for card in vobject.readComponents(text, validate=True):
        assert card.version.value == "3.0"
        cards[card.fn.value] = card
    assert len(cards) == 10, sorted(cards)
    deleted = {name for name, card in cards.items() if "x-relikorda-deleted" in card.contents}
    assert deleted == {"Eve Evans", "Frank Foster", "Grace Green", "Ivy Irwin"}, deleted
    for name in deleted:
        assert "Deleted" in cards[name].categories.value, name
    alice = cards["Alice Anders"]
    name = alice.n.value
    assert (name.family, name.given, name.additional, name.prefix) == ("Anders", "Alice", "B.", "Dr."), name
    assert cards["Bob Brown"].n.value.family == "Brown", cards["Bob Brown"].n.value
    assert [t.value for t in alice.contents["tel"]] == ["+1 650-555-0101", "(650) 555-0111", "650-555-0199"]
    assert alice.note.value == "Met at the conference; likes <tea> & cake", alice.note.value
    assert alice.adr.value.street == "12 Harbour Road\nPort Town 4021\nNew Zealand", alice.adr.value
    assert alice.categories.value == ["My Contacts", "Family"], alice.categories.value
    photo = alice.photo.value
    if isinstance(photo, str):
        photo = base64.b64decode(photo)
    assert photo[:3] == b"\xff\xd8\xff" and photo[-2:] == b"\xff\xd9", photo[:4]
    print("contacts.vcf: %d cards imported" % len(cards))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
