#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A stand-in for the user's service manager (org.freedesktop.systemd1 on the session bus) with
# the calls Lentora makes, checked the way systemd checks them. Under dbus-run-session: the bus
# address goes to DIR/address once it owns the name, each call to DIR/calls, the scopes and their
# weights to DIR/units; ends when its input closes. ListUnitsByPatterns answers in the shape named
# in DIR/shape, where there is one. Scopes never end here, as if a program Lentora
# launched still held them. With --silent, StartTransientUnit is never answered.
import fnmatch, os, re, sys
import dbus, dbus.service
from dbus import Array, Dictionary
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

folder, units = sys.argv[1], {}  # scope -> CPUWeight
Manager = "org.freedesktop.systemd1.Manager"


def log(line):
    open(os.path.join(folder, "calls"), "a").write(line + "\n")
    open(os.path.join(folder, "units"), "w").writelines(f"{n} {w}\n" for n, w in units.items())


def check(ok, text, error="org.freedesktop.DBus.Error.InvalidArgs"):
    if not ok:
        log("refused " + text)
        raise dbus.exceptions.DBusException(text, name=error)


class Standin(dbus.service.Object):
    @dbus.service.method(Manager, "ssa(sv)a(sa(sv))", "o", async_callbacks=("reply", "error"))
    def StartTransientUnit(self, name, mode, properties, aux, reply, error):
        if "--silent" in sys.argv:
            return
        props, pid = dict(properties), re.fullmatch(r"lentora-(\d+)\.scope", name)
        check(pid and mode == "fail" and not aux, f"{name} {mode} {aux}")
        check(list(props.get("PIDs", [])) == [int(pid.group(1))], f"PIDs {props.get('PIDs')}")
        check(name not in units, name, "org.freedesktop.systemd1.UnitExists")
        units[name] = None
        shown = (f"{k}={','.join(map(str, v)) if k == 'PIDs' else v}" for k, v in sorted(props.items()))
        log(f"StartTransientUnit {name} {mode} " + " ".join(shown))
        reply("/org/freedesktop/systemd1/job/1")

    @dbus.service.method(Manager, "sba(sv)", "")
    def SetUnitProperties(self, name, runtime, properties):
        check(name in units, name, "org.freedesktop.systemd1.NoSuchUnit")
        for key, value in properties:
            check(key == "CPUWeight" and isinstance(value, dbus.UInt64) and 1 <= value <= 10000 and runtime, key)
            units[name] = int(value)
        log(f"SetUnitProperties {name} " + " ".join(f"{k}={v}" for k, v in properties))

    @dbus.service.method(Manager, "asas", None)
    def ListUnitsByPatterns(self, states, patterns):
        log("ListUnitsByPatterns " + " ".join(patterns))
        found = [n for n in units if any(fnmatch.fnmatch(n, p) for p in patterns)]
        shapes = {"a(ss)": Array([("a", "b")], "(ss)"), "a{ss}": Dictionary({"a": "b"}, "ss"),
                  "a(a(s))": Array([([("a",)],)], "(a(s))"), "s": "a", "none": None}
        if os.path.exists(os.path.join(folder, "shape")):  # a reply of another shape than systemd's
            return shapes[open(os.path.join(folder, "shape")).read()]
        return Array([(n, "", "loaded", "active", "running", "", "/", 0, "", "/") for n in found], "(ssssssouso)")


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name, standin, loop = dbus.service.BusName("org.freedesktop.systemd1", bus), Standin(bus, "/org/freedesktop/systemd1"), GLib.MainLoop()
GLib.io_add_watch(0, GLib.IO_IN | GLib.IO_HUP, lambda *_: loop.quit())
open(os.path.join(folder, "address.new"), "w").write(os.environ["DBUS_SESSION_BUS_ADDRESS"])
os.rename(os.path.join(folder, "address.new"), os.path.join(folder, "address"))
loop.run()
