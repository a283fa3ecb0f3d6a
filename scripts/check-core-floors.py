#!/usr/bin/env python3
"""Fails when an include inside the core runs back up a floor.

Reads the floors table of src/core/README.md and the quoted includes of every file under
src/core. Usage: check-core-floors.py CORE_DIR
"""
import pathlib
import re
import sys

ROW = re.compile(r'^\|\s*(\d+)\s*\|\s*`(\w+)`\s*\|[^|]*\|([^|]*)\|\s*$')
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')


def read_floors(readme):
    floors, allowed = {}, {}
    for line in readme.read_text(encoding='utf-8').splitlines():
        match = ROW.match(line)
        if match:
            room = match.group(2)
            floors[room] = int(match.group(1))
            allowed[room] = set(re.findall(r'`(\w+)`', match.group(3)))
            if 'every room below' in match.group(3):
                allowed[room] = None
    return floors, allowed


def main():
    core = pathlib.Path(sys.argv[1])
    floors, allowed = read_floors(core / 'README.md')
    errors = []
    if not floors:
        errors.append(f'{core / "README.md"}: no floors table')
    for room, rooms in allowed.items():
        if rooms is None:
            allowed[room] = {other for other in floors if floors[other] < floors[room]}
            continue
        for other in sorted(rooms):
            if other not in floors:
                errors.append(f'README.md: {room} may include {other}, which is no room of the table')
            elif floors[other] >= floors[room]:
                errors.append(f'README.md: {room} (floor {floors[room]}) may include {other} (floor {floors[other]}), '
                              'which is not lower')
    for folder in sorted(p for p in core.iterdir() if p.is_dir()):
        if folder.name not in floors:
            errors.append(f'{folder.name}/: a room missing from the floors table in README.md')
    for path in sorted(core.rglob('*')):
        if path.suffix not in ('.h', '.cpp') or not path.is_file():
            continue
        room = path.relative_to(core).parts[0]
        if room not in floors:
            continue
        for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1) == room:
                continue
            target = match.group(1)
            if target not in floors:
                errors.append(f'{path.relative_to(core)}:{number}: includes {target}/, which is no room of the core')
            elif target not in allowed[room]:
                errors.append(f'{path.relative_to(core)}:{number}: {room} (floor {floors[room]}) includes '
                              f'{target} (floor {floors[target]})')
    for error in errors:
        print(error)
    return 1 if errors else 0


if __name__ == '__main__':
    sys.exit(main())
