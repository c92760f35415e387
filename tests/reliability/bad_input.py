"""Hostile command lines and surroundings: 100,000 arguments, arguments of
1 MiB, bytes that are not UTF-8 and control characters, standard input as
an input, directories and missing files as inputs, a temporary directory
that does not exist. Each ends with the status and messages the driver
owes, never crashes, and leaves nothing behind."""

import os
import re
import shutil
import subprocess

import harness

MIB = 1 << 20
MANY = 100000
SWITCHES = ["-DM%d" % i for i in range(MANY)]
# -D takes its argument joined or separate; what is passed on is the canonical,
# separate form.
PASSED_ON = " ".join("-D M%d" % i for i in range(MANY)).encode()


def fell_path(stage):
    # As the driver finds it: relative to its own directory.
    return os.path.join(stage, "bin", "..", "libexec", "quarn", "aarch64-rivet-freebsd13.4",
                        "12.3.0", "fell")


def too_long(stage):
    # A child's argument or environment string past the platform's limit.
    return ("quarn++: fatal error: cannot execute '%s': execv: Argument list too long\n"
            "compilation terminated.\n" % fell_path(stage)).encode()


def echoed(stderr, program):
    """The -### line of `program` (found by the name after the last '/')."""
    lines = [line for line in stderr.split(b"\n")
             if line.startswith(b" ") and line.split(b" ", 2)[1].rsplit(b"/", 1)[-1] == program]
    return lines[0] if len(lines) == 1 else None


def write(path, data):
    with open(path, "wb") as stream:
        stream.write(data)


# ---- Checks of -### lines --------------------------------------------------------

def line_has(program, *pieces):
    def check(result, scratch):
        line = echoed(result.stderr, program)
        if line is None:
            return ["no single %s line in:\n%r" % (program, result.stderr[:2000])]
        return ["%s line lacks %r" % (program, piece[:80]) for piece in pieces if piece not in line]
    return check


def temp_names_in(directory):
    # The assembler file of the compiler: DIRECTORY, '/', "cc", six characters, ".s".
    def check(result, scratch):
        pattern = re.compile(b" -o " + re.escape(directory.replace("{root}", scratch.root).encode())
                             + b"/cc[A-Za-z0-9]{6}\\.s$")
        line = echoed(result.stderr, b"fell")
        if line is None or not pattern.search(line):
            return ["fell output not in %s/: %r" % (directory, line)]
        name = line.rsplit(b" ", 1)[1]
        return ["%r left after the run" % name] if os.path.exists(name) else []
    return check


def output_holds(path, piece):
    def check(result, scratch):
        try:
            with open(os.path.join(scratch.work, path), "rb") as stream:
                text = stream.read()
        except OSError as error:
            return ["%s: %s" % (path, error)]
        return [] if piece in text else ["%s lacks %r:\n%r" % (path, piece, text)]
    return check


# ---- The cases ---------------------------------------------------------------------

def cases(stage):
    """Name, arguments, environment changes (None unsets), standard input, set-up of
    the work directory, status, exact stderr (or None), checks, files that must
    exist afterwards, files that must not."""
    big_define = b"-DBIG=" + b"x" * MIB
    big_option = b"-f" + b"y" * MIB
    odd_name = b"\xff\x01a.cc"
    odd_define = b"-DQ=a\tb$c\"d\\e"
    odd_object = b"\xfe\x02.o"

    def big_define_file(work):
        write(os.path.join(work, "define.rsp"), big_define + b"\n")

    def big_option_file(work):
        write(os.path.join(work, "option.rsp"), big_option + b"\n")

    def odd_source(work):
        shutil.copy(os.path.join(work, "hello.cc"), os.path.join(work.encode(), odd_name))

    def directories(work):
        os.mkdir(os.path.join(work, "d.cc"))
        os.mkdir(os.path.join(work, "dir.o"))

    def alternative_tmp(work):
        os.mkdir(os.path.join(work, "..", "alt"))

    def tmpdir_is_a_file(work):
        write(os.path.join(work, "..", "plain"), b"")

    unused = b"quarn++: warning: %s: linker input file unused because linking not done\n"
    return [
        # 100,000 switches: all reach the compiler, in order.
        ("100,000 switches, dry run", ["-###", "-c", "hello.cc"] + SWITCHES, {}, None, None,
         0, None, [line_has(b"fell", b" " + PASSED_ON + b" "), line_has(b"as", b" -o hello.o ")],
         [], ["hello.o"]),
        # The switches are exported to every child as one variable, too long for
        # the platform to start the compiler with.
        ("100,000 switches, compile", ["-c", "hello.cc"] + SWITCHES, {}, None, None,
         1, too_long(stage), [], [], ["hello.o"]),
        # 1 MiB arguments come in a response file: the platform takes none that long.
        ("1 MiB switch, dry run", ["-###", "-c", "hello.cc", "@define.rsp"], {}, None,
         big_define_file, 0, None, [line_has(b"fell", b' -D "' + big_define[2:] + b'" ')], [],
         ["hello.o"]),
        ("1 MiB switch, compile", ["-c", "hello.cc", "@define.rsp"], {}, None, big_define_file,
         1, too_long(stage), [], [], ["hello.o"]),
        ("1 MiB unknown option", ["-c", "hello.cc", "@option.rsp"], {}, None, big_option_file,
         1, b"quarn++: error: unrecognized command-line option '" + big_option + b"'\n", [], [],
         ["hello.o"]),
        # Bytes that are not UTF-8, control characters and shell metacharacters:
        # passed on unchanged, quoted in the echo.
        ("odd bytes, dry run", ["-###", "-c", odd_name, odd_define], {}, None, odd_source,
         0, None, [line_has(b"fell", b' "\xff\x01a.cc" ', b' -D "Q=a\tb\\$c\\"d\\\\e" '),
                   line_has(b"as", b' -o "\xff\x01a.o" ')],
         [], [b"\xff\x01a.o"]),
        ("odd bytes, compile", ["-c", odd_name, odd_define], {}, None, odd_source,
         0, b"", [], [b"\xff\x01a.o"], []),
        ("odd bytes, missing linker input", ["-c", "hello.cc", odd_object], {}, None, None,
         1, unused % odd_object +
         b"quarn++: error: \xfe\x02.o: linker input file not found: No such file or directory\n",
         [], ["hello.o"], []),
        # Standard input as the source: with a language it is compiled, the
        # object named after the input "-"; without one it is refused.
        ("standard input with -x c++", ["-x", "c++", "-c", "-"], {}, b"int main() {}\n", None,
         0, b"", [output_holds("-.o", b"compiled <stdin>\n"),
                   output_holds("-.o", b"// > int main() {}\n")], ["-.o"], []),
        ("standard input without -x", ["-c", "-"], {}, b"int main() {}\n", None,
         1, b"quarn++: error: -E or -x required when input is from standard input\n", [], [],
         ["-.o"]),
        # Directories and missing files: the compiler or linker reports them.
        ("directory source", ["-c", "d.cc"], {}, None, directories,
         1, b"fell: error: cannot read d.cc: Is a directory\n", [], [], ["d.o"]),
        ("missing source", ["-c", "missing.cc"], {}, None, None,
         1, b"fell: error: cannot open missing.cc: No such file or directory\n", [], [],
         ["missing.o"]),
        ("directory linker input, compile only", ["-c", "hello.cc", "dir.o"], {}, None,
         directories, 0, unused % b"dir.o", [], ["hello.o"], []),
        ("directory linker input, link", ["hello.cc", "dir.o", "-o", "prog"], {}, None,
         directories, 1, b"tether: error: cannot read dir.o: Is a directory\n", [], [],
         ["prog", "hello.o"]),
        # A missing TMPDIR: the next usable candidate.
        ("missing TMPDIR, TEMP usable, dry run", ["-###", "-c", "hello.cc"],
         {"TMPDIR": "{root}/missing", "TMP": None, "TEMP": "{root}/alt"}, None, alternative_tmp,
         0, None, [temp_names_in("{root}/alt")], [], []),
        ("missing TMPDIR, TEMP usable, compile", ["hello.cc", "-o", "prog"],
         {"TMPDIR": "{root}/missing", "TMP": None, "TEMP": "{root}/alt"}, None, alternative_tmp,
         0, b"", [], ["prog"], []),
        # Nothing named usable: "/tmp/", with the '/' still appended.
        ("TMPDIR a file, TMP missing, dry run", ["-###", "-c", "hello.cc"],
         {"TMPDIR": "{root}/plain", "TMP": "{root}/missing", "TEMP": None}, None,
         tmpdir_is_a_file, 0, None, [temp_names_in("/tmp/")], [], []),
    ]


def expand(text, root):
    return text.replace("{root}", root) if isinstance(text, str) else text


def main():
    args = harness.parse_args()
    failures = harness.Failures()
    for (name, argv, env_changes, stdin, setup, status, stderr, checks, present,
         absent) in cases(args.stage):
        scratch = harness.Scratch("input")
        root = scratch.root
        shutil.copy(os.path.join(args.inputs, "hello.cc"), scratch.work)
        if setup:
            setup(scratch.work)
        env = harness.base_environment(scratch.tmp)
        for variable, value in env_changes.items():
            if value is None:
                env.pop(variable, None)
            else:
                env[variable] = expand(value, root)
        result = subprocess.run([harness.driver_path(args)] + argv, cwd=scratch.work, env=env,
                                input=stdin if stdin is not None else b"",
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        check = failures.check
        check(result.returncode == status, "%s: status %d, expected %d\n%r"
              % (name, result.returncode, status, result.stderr[:2000]))
        check(not harness.sanitizer_report(result.stderr.decode(errors="replace")),
              "%s: sanitizer report" % name)
        if stderr is not None:
            check(result.stderr == stderr, "%s: stderr\n%r\nexpected\n%r"
                  % (name, result.stderr[:500], stderr[:500]))
        for one in checks:
            for problem in one(result, scratch):
                failures.check(False, "%s: %s" % (name, problem))
        for path in present:
            check(os.path.exists(os.path.join(scratch.work.encode(), os.fsencode(path))),
                  "%s: %r missing" % (name, path))
        for path in absent:
            check(not os.path.exists(os.path.join(scratch.work.encode(), os.fsencode(path))),
                  "%s: %r left" % (name, path))
        for directory in (scratch.tmp, os.path.join(root, "alt")):
            if os.path.isdir(directory):
                check(os.listdir(directory) == [], "%s: left in %s: %s"
                      % (name, directory, os.listdir(directory)))
        scratch.remove()
    failures.finish("%d cases" % len(cases(args.stage)))


if __name__ == "__main__":
    main()
