"""labgrid's ExternalPowerDriver and pdudaemon's localcmdline switch outlet 3 of a simulated
controller, configured by the example files in docs/examples/ exactly as docs/veskctl.md shows
them (only the device path and pdudaemon's listening port are replaced):

- on a free line (veskctl opens the device itself),
- through the share of a vesk-mqtt without a broker that holds the line,
- through the share while that daemon also serves `set` messages from an MQTT broker,
- and with the line gone: labgrid reports the failure, pdudaemon still acknowledges the request;
  and the delay each tool refuses (the pitfalls the page warns about).

Every switch is checked on the simulator's side: the exact frame it received and the channel's
state it reports. Exits 77 (skipped) when labgrid, pdudaemon or mosquitto is not installed.
"""
import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

SKIPPED = 77
DEVICE = "/dev/ttyUSB0"  # as the examples name the line
PDU_PORT = "16421"  # pdudaemon's listening port in its example
ON3 = "CA 20 01 18 02 03 01 F6"  # outlet 3 of address 1 on
OFF3 = "CA 20 01 18 02 03 00 F7"


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)


def wait_for(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.05)
    fail("timed out after %g s waiting for %s" % (seconds, what))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_open(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
        return True
    except OSError:
        return False


class Sim:
    """vesk-sim with one controller at address 1, reachable through a symlink."""

    def __init__(self, binary, link):
        self.proc = subprocess.Popen([binary, "--link", link, "--address", "1"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, bufsize=1)
        first = self.proc.stdout.readline()
        check(first.startswith("PTY "), "vesk-sim did not report its terminal: %r" % first)
        self.log = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read_log, daemon=True).start()

    def _read_log(self):
        for line in self.proc.stderr:
            with self.lock:
                self.log.append(line.rstrip("\n"))

    def received(self):
        """The frames received so far, as hex text."""
        with self.lock:
            return [line.split(" RX ", 1)[1].strip() for line in self.log if " RX " in line]

    def state(self):
        self.proc.stdin.write("state\n")
        self.proc.stdin.flush()
        while True:
            line = self.proc.stdout.readline()
            check(line, "vesk-sim ended")
            if line.startswith("{"):
                return json.loads(line)

    def channel_on(self, channel):
        return bool(self.state()["channels"] & (1 << (channel - 1)))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.flush()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Daemon:
    """vesk-mqtt holding the line, with its journal, until stopped."""

    def __init__(self, binary, folder, link, broker_port=None):
        self.journal_path = os.path.join(folder, "journal.jsonl")
        config = os.path.join(folder, "vesk-mqtt.conf")
        with open(config, "w") as f:
            if broker_port:
                f.write("[broker]\nhost = 127.0.0.1\nport = %d\nclient_id = lab\n\n" % broker_port)
            f.write("[controller rack]\nport = %s\naddress = 1\npoll_interval = 0.5\n" % link)
        self.log_path = os.path.join(folder, "vesk-mqtt.log")
        self.log_file = open(self.log_path, "w")
        self.proc = subprocess.Popen([binary, "--config", config, "--journal", self.journal_path],
                                     stdout=subprocess.DEVNULL, stderr=self.log_file)
        wait_for(lambda: "serving on" in self.text(), 15, "vesk-mqtt to share the line")

    def text(self):
        with open(self.log_path) as f:
            return f.read()

    def shared_switches(self):
        """Outlet 3's switch frames the journal records as sent by a veskctl through the share."""
        with open(self.journal_path) as f:
            records = [json.loads(line) for line in f if line.strip()]
        return [r["hex"] for r in records if r.get("via") == "share" and
                r.get("client") == "veskctl" and r.get("hex") in (ON3, OFF3)]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        self.log_file.close()


class Broker:
    def __init__(self, folder):
        self.port = free_port()
        config = os.path.join(folder, "mosquitto.conf")
        with open(config, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n" % self.port)
        self.proc = subprocess.Popen(["mosquitto", "-c", config],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: port_open(self.port), 10, "mosquitto to listen")

    def publish(self, topic, payload):
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-t", topic,
                        "-m", payload], check=True, timeout=10)

    def retained(self, topic):
        out = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(self.port), "-t", topic,
                              "-C", "1", "-W", "2"], capture_output=True, text=True, timeout=10)
        return out.stdout.strip()

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


class Pdudaemon:
    def __init__(self, binary, config_text, folder):
        self.port = free_port()
        config = os.path.join(folder, "pdudaemon.conf")
        with open(config, "w") as f:
            f.write(config_text.replace(PDU_PORT, str(self.port)))
        self.log = open(os.path.join(folder, "pdudaemon.log"), "w")
        self.proc = subprocess.Popen([binary, "--conf", config], stdout=self.log,
                                     stderr=subprocess.STDOUT)
        wait_for(lambda: port_open(self.port), 30, "pdudaemon to listen")

    def request(self, action, query=""):
        """The HTTP status and text of one request for outlet dut1 (the example's alias)."""
        url = "http://127.0.0.1:%d/power/control/%s?alias=dut1%s" % (self.port, action, query)
        try:
            with urllib.request.urlopen(url, timeout=60) as answer:
                return answer.status, answer.read().decode()
        except urllib.error.HTTPError as error:
            return error.code, error.read().decode()

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        self.log.close()


def example_from_page(page, name, language):
    """The example file, after checking the page shows it as it is."""
    with open(os.path.join(os.path.dirname(page), "examples", name)) as f:
        text = f.read()
    with open(page) as f:
        check("```%s\n%s```" % (language, text) in f.read(),
              "%s: the page does not show docs/examples/%s as it is" % (page, name))
    return text


def switch(sim, tool, action, run):
    """Runs one action of `tool` and checks the outlet on the simulator; returns the frames."""
    before = len(sim.received())
    run(action)
    frames = sim.received()[before:]
    switches = [f for f in frames if f in (ON3, OFF3)]
    expected = {"on": [ON3], "off": [OFF3], "cycle": [OFF3, ON3], "reboot": [OFF3, ON3]}[action]
    check(switches == expected,
          "%s %s: the line saw %s, expected %s" % (tool, action, switches, expected))
    check(sim.channel_on(3) == (action != "off"),
          "%s %s: outlet 3 is %s" % (tool, action, "on" if sim.channel_on(3) else "off"))
    return switches


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--veskctl", required=True)
    parser.add_argument("--vesk-mqtt", required=True)
    parser.add_argument("--vesk-sim", required=True)
    parser.add_argument("--page", required=True, help="docs/veskctl.md")
    args = parser.parse_args()

    missing = []
    try:
        from labgrid import Environment
    except ImportError:
        missing.append("python3-labgrid (for %s)" % sys.executable)
    pdudaemon = shutil.which("pdudaemon", path="/usr/sbin:/usr/bin:" + os.environ["PATH"])
    if not pdudaemon:
        missing.append("pdudaemon")
    if not shutil.which("mosquitto", path="/usr/sbin:" + os.environ["PATH"]):
        missing.append("mosquitto")
    if missing:
        print("SKIP: not installed: %s (scripts/setup.sh installs them)" % ", ".join(missing))
        return SKIPPED
    os.environ["PATH"] = "/usr/sbin:" + os.environ["PATH"]

    labgrid_text = example_from_page(args.page, "labgrid-vesk.yaml", "yaml")
    pdudaemon_text = example_from_page(args.page, "pdudaemon.conf", "json")

    # Both tools find veskctl on the PATH, as an installed one would be.
    os.environ["PATH"] = os.path.dirname(os.path.abspath(args.veskctl)) + ":" + os.environ["PATH"]
    folder = tempfile.mkdtemp(prefix="vesk-lab-")
    link = os.path.join(folder, "line")
    env_path = os.path.join(folder, "labgrid.yaml")
    with open(env_path, "w") as f:
        f.write(labgrid_text.replace(DEVICE, link))
    running = []
    try:
        sim = Sim(args.vesk_sim, link)
        running.append(sim)
        pdu = Pdudaemon(pdudaemon, pdudaemon_text.replace(DEVICE, link), folder)
        running.append(pdu)
        power = Environment(env_path).get_target("main").get_driver("PowerProtocol")

        def pdu_run(action):
            status, text = pdu.request(action, "&delay=1" if action == "reboot" else "")
            check(status == 200, "pdudaemon %s: %d %s" % (action, status, text))

        tools = [("labgrid", ["on", "off", "cycle"], lambda a: getattr(power, a)()),
                 ("pdudaemon", ["on", "off", "reboot"], pdu_run)]

        # A free line: veskctl opens the device itself.
        for tool, actions, run in tools:
            for action in actions:
                switch(sim, tool, action, run)
        print("ok: labgrid and pdudaemon on a free line", flush=True)

        # The two delays the page warns about: pdudaemon's reboot with a decimal one cuts the
        # power and fails before switching it on again; labgrid refuses a whole number.
        before = len(sim.received())
        status, _ = pdu.request("reboot", "&delay=1.5")
        check(status == 500, "pdudaemon reboot with delay=1.5 answered %d" % status)
        check(sim.received()[before:].count(OFF3) == 1 and ON3 not in sim.received()[before:],
              "pdudaemon reboot with delay=1.5: the line saw %s" % sim.received()[before:])
        check(not sim.channel_on(3), "pdudaemon reboot with delay=1.5 left outlet 3 on")
        whole = os.path.join(folder, "whole-delay.yaml")
        with open(whole, "w") as f:
            f.write(labgrid_text.replace("delay: 2.0", "delay: 2"))
        try:
            Environment(whole).get_target("main").get_driver("PowerProtocol")
            fail("labgrid accepted `delay: 2`")
        except Exception as error:
            check("failed to create ExternalPowerDriver" in str(error),
                  "labgrid with `delay: 2`: %s" % error)
        print("ok: pdudaemon's decimal reboot delay and labgrid's whole-number one", flush=True)

        # A daemon without a broker holds the line: every switch goes through its share.
        daemon = Daemon(args.vesk_mqtt, folder, link)
        running.append(daemon)
        sent = []
        for tool, actions, run in tools:
            for action in actions:
                sent += switch(sim, tool, action, run)
        check(daemon.shared_switches() == sent,
              "the journal's frames through the share: %s, sent %s"
              % (daemon.shared_switches(), sent))
        daemon.stop()
        running.remove(daemon)
        print("ok: labgrid and pdudaemon through the share of a daemon without a broker",
              flush=True)

        # The same while the daemon switches outlet 5 for MQTT `set` messages all along.
        broker = Broker(folder)
        running.append(broker)
        os.remove(os.path.join(folder, "journal.jsonl"))
        daemon = Daemon(args.vesk_mqtt, folder, link, broker.port)
        running.append(daemon)
        stop = threading.Event()

        def dashboard():
            on = False
            while not stop.is_set():
                on = not on
                broker.publish("vesk/rack/channel/5/set", "ON" if on else "OFF")
                time.sleep(0.2)
            broker.publish("vesk/rack/channel/5/set", "ON")

        sets = threading.Thread(target=dashboard)
        sets.start()
        sent = []
        try:
            for tool, actions, run in tools:
                for action in actions:
                    sent += switch(sim, tool, action, run)
        finally:
            stop.set()
            sets.join()
        check(daemon.shared_switches() == sent,
              "the journal's frames through the share: %s, sent %s"
              % (daemon.shared_switches(), sent))
        wait_for(lambda: sim.channel_on(5), 5, "outlet 5 on after the last MQTT set")
        wait_for(lambda: broker.retained("vesk/rack/channel/5") == "ON", 5,
                 "the published state of outlet 5 to follow")
        check(not sim.state().get("parseIssues"),
              "the line saw broken frames: %s" % sim.state().get("parseIssues"))
        daemon.stop()
        running.remove(daemon)
        print("ok: labgrid and pdudaemon through the share while the daemon serves MQTT sets",
              flush=True)

        # The line gone: labgrid says so, pdudaemon acknowledges the request all the same.
        sim.stop()
        try:
            power.on()
            fail("labgrid on succeeded without a line")
        except Exception as error:  # labgrid passes on the command's failure as it is
            check("returned non-zero exit status 3" in str(error), "labgrid on: %s" % error)
        status, text = pdu.request("on")
        check(status == 200 and text.startswith("OK"),
              "pdudaemon without a line answered %d %s: its acknowledgement now tells a failure, "
              "update the page" % (status, text))
        print("ok: without a line labgrid fails, pdudaemon still answers OK", flush=True)
    finally:
        for process in reversed(running):
            process.stop()
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
