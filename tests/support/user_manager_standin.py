#!/usr/bin/python3
# A stand-in for the user's service manager (org.freedesktop.systemd1 on the
# session bus) with only the calls Lentora makes, each checked the way systemd
# checks it. Run under dbus-run-session; writes the bus address to DIR/address
# once it owns the name, every call to DIR/calls, the units and their weights
# to DIR/units after every change, and ends when its standard input closes.
# Units never end here, as if a program Lentora launched still held them.
# With --silent it owns the name but never answers.
import fnmatch
import os
import re
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

MANAGER = "org.freedesktop.systemd1.Manager"
folder = sys.argv[1]
silent = "--silent" in sys.argv
units = {}  # name -> CPUWeight (None: not set)


def log(line):
    with open(os.path.join(folder, "calls"), "a") as calls:
        calls.write(line + "\n")
    with open(os.path.join(folder, "units"), "w") as state:
        state.writelines(f"{name} {weight}\n" for name, weight in units.items())


def shown(value):
    return ",".join(str(v) for v in value) if isinstance(value, list) else str(value)


def refuse(name, text):
    log("refused " + text)
    raise dbus.exceptions.DBusException(text, name=name)


class Manager(dbus.service.Object):
    @dbus.service.method(MANAGER, in_signature="ssa(sv)a(sa(sv))", out_signature="o",
                         async_callbacks=("reply", "error"))
    def StartTransientUnit(self, name, mode, properties, aux, reply, error):
        if silent:
            return
        props = dict(properties)
        match = re.fullmatch(r"lentora-(\d+)\.scope", name)
        if not match or mode != "fail" or aux:
            refuse("org.freedesktop.DBus.Error.InvalidArgs", f"bad unit {name} {mode}")
        if [int(p) for p in props.get("PIDs", [])] != [int(match.group(1))]:
            refuse("org.freedesktop.DBus.Error.InvalidArgs", f"PIDs {props.get('PIDs')} for {name}")
        if name in units:
            refuse("org.freedesktop.systemd1.UnitExists", f"Unit {name} already exists.")
        units[name] = None
        log(f"StartTransientUnit {name} {mode} " + " ".join(f"{k}={shown(v)}" for k, v in sorted(props.items())))
        reply(dbus.ObjectPath("/org/freedesktop/systemd1/job/1"))

    @dbus.service.method(MANAGER, in_signature="sba(sv)", out_signature="")
    def SetUnitProperties(self, name, runtime, properties):
        if name not in units:
            refuse("org.freedesktop.systemd1.NoSuchUnit", f"Unit {name} not loaded.")
        for key, value in properties:
            if key != "CPUWeight" or not isinstance(value, dbus.UInt64) or not 1 <= value <= 10000 or not runtime:
                refuse("org.freedesktop.DBus.Error.InvalidArgs", f"{key}={value!r} runtime={runtime}")
            units[name] = int(value)
        log(f"SetUnitProperties {name} " + " ".join(f"{k}={v}" for k, v in properties))

    @dbus.service.method(MANAGER, in_signature="asas", out_signature="a(ssssssouso)")
    def ListUnitsByPatterns(self, states, patterns):
        found = [n for n in units if any(fnmatch.fnmatch(n, p) for p in patterns)]
        log("ListUnitsByPatterns " + " ".join(patterns))
        none = dbus.ObjectPath("/")
        return [(n, "Lentora", "loaded", "active", "running", "", none, dbus.UInt32(0), "", none) for n in found]


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.systemd1", bus)
manager = Manager(bus, "/org/freedesktop/systemd1")
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, lambda *_: loop.quit())
with open(os.path.join(folder, "address.new"), "w") as address:
    address.write(os.environ["DBUS_SESSION_BUS_ADDRESS"])
os.rename(os.path.join(folder, "address.new"), os.path.join(folder, "address"))
loop.run()
