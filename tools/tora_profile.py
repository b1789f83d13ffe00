"""Facts tables of a TORA SDK profile read from its headers, and stand-in headers written from them.

tools/gen_tora.py uses this for the current generation: `extract` reads the vendor's public SDK
headers into a facts table (every header's namespace, guard and includes; every type name,
constant, enum, record and API method, in the vendor's order; each record's size on the 64-bit
Linux ABI), and `--profile current` writes our stand-in headers back from that table. The table
holds facts only; the headers it yields are ours (no comments of the vendor's, our layout).
"""

import re

import tora_headers

_SIZES = {"char": 1, "short": 2, "int": 4, "long long": 8, "double": 8}


class FactsError(Exception):
    pass


def _cells(line):
    return [p.strip() for p in line.strip().split("|")[1:-1]]


def record_layout(sdk, ns, name):
    """[(field, offset, size)] and the record's size, natural alignment (64-bit Linux)."""
    offset, align_max, out = 0, 1, []
    for field, typ in sdk.record(ns, name):
        td = sdk.typedef(ns, typ)
        if td is None:
            raise FactsError("%s.%s: type %s is not declared" % (name, field, typ))
        ctype, n = td
        if ctype not in _SIZES:
            raise FactsError("%s.%s: C type %s" % (name, field, ctype))
        align = _SIZES[ctype]
        size = align * (n or 1)
        offset = (offset + align - 1) // align * align
        out.append((field, offset, size))
        offset += size
        align_max = max(align_max, align)
    return out, (offset + align_max - 1) // align_max * align_max


def _params_text(m):
    out = []
    for typ, name, default in m.params:
        text = typ + (" " + name if name else "")
        if default is not None:
            text += " = " + default
        out.append(text)
    return ", ".join(out)


def write_facts(sdk, title, prose):
    """The facts table (markdown) of every declaration of the SDK's headers."""
    out = ["# %s\n\n%s\n\n" % (title, prose)]
    out.append("## Headers\n\n| Header | Namespace | Include guard | Includes | Export switch | Export macro |\n"
               "|---|---|---|---|---|---|\n")
    for h in sdk.files:
        info = sdk.headers[h]
        export = info["export"] or ("-", "-")
        out.append("| %s | %s | %s | %s | %s | %s |\n" % (
            h, info["namespace"] or "-", info["guard"] or "-", " ".join(info["includes"]) or "-",
            export[0], export[1]))
    for h in sdk.files:
        ns = sdk.headers[h]["namespace"]
        out.append("\n## %s\n" % h)
        table = None
        for kind, name in sdk.order[h]:
            if kind in ("typedef", "constant", "enum"):
                if table != "names":
                    out.append("\n| Kind | Name | Declared as |\n|---|---|---|\n")
                    table = "names"
                if kind == "typedef":
                    ctype, n = sdk.typedef(ns, name)
                    out.append("| typedef | %s | %s%s |\n" % (name, ctype, "[%d]" % n if n else ""))
                elif kind == "constant":
                    ctype, value = sdk.constants[(ns, name)]
                    out.append("| constant | %s | %s %s |\n" % (name, ctype or "#define", value))
                else:
                    out.append("| enum | %s | %s |\n" % (name, ", ".join(sdk.enums[(ns, name)])))
            elif kind == "struct":
                fields = sdk.record(ns, name)
                _, size = record_layout(sdk, ns, name)
                out.append("\n#### record %s (%d fields, %d bytes)\n\n| # | Field | Type |\n|---|---|---|\n"
                           % (name, len(fields), size))
                for i, (field, typ) in enumerate(fields, 1):
                    out.append("| %d | %s | %s |\n" % (i, field, typ))
                table = None
            elif kind == "class":
                _, methods = sdk.classes[name]
                out.append("\n#### class %s (%d methods)\n\n| Kind | Return | Method | Parameters |\n"
                           "|---|---|---|---|\n" % (name, len(methods)))
                for m in methods:
                    out.append("| %s | %s | %s | %s |\n" % (m.kind, m.ret, m.name, _params_text(m) or "-"))
                table = None
    return "".join(out)


def read_facts(path):
    """The Sdk model back from a facts table written by write_facts."""
    with open(path, encoding="utf-8") as f:
        return read_facts_text(f.read(), path)


def read_facts_text(text, path="facts"):
    sdk = tora_headers.Sdk()
    lines = text.splitlines()
    header, ns, record, cls, counts = None, None, None, None, {}
    section = None
    for line in lines:
        m = re.match(r"^## (\S+\.h)$", line)
        if m:
            header, record, cls = m.group(1), None, None
            ns = sdk.headers[header]["namespace"]
            sdk.order[header] = []
            continue
        if line.startswith("## Headers"):
            section = "headers"
            continue
        m = re.match(r"^#### record (\w+) \((\d+) fields, (\d+) bytes\)$", line)
        if m:
            record, cls = m.group(1), None
            sdk.structs[(ns, record)] = []
            counts[(ns, record)] = (int(m.group(2)), int(m.group(3)))
            sdk.order[header].append(("struct", record))
            continue
        m = re.match(r"^#### class (\w+) \((\d+) methods\)$", line)
        if m:
            cls, record = m.group(1), None
            sdk.classes[cls] = (ns, [])
            counts[cls] = int(m.group(2))
            sdk.order[header].append(("class", cls))
            continue
        if not line.startswith("|"):
            continue
        c = _cells(line)
        if c[0] in ("Header", "Kind", "#") or re.fullmatch(r"[-|]+", line.replace(" ", "")):
            continue
        if section == "headers" and header is None:
            includes = [] if c[3] == "-" else c[3].split()
            sdk.headers[c[0]] = {"namespace": None if c[1] == "-" else c[1], "guard": c[2],
                                 "includes": includes, "export": None if c[4] == "-" else (c[4], c[5])}
            sdk.files.append(c[0])
        elif record:
            sdk.structs[(ns, record)].append((c[1], c[2]))
        elif cls:
            params = [] if c[3] == "-" else tora_headers._split_params(c[3])
            sdk.classes[cls][1].append(tora_headers.Method(c[0], c[1], c[2], params))
        elif c[0] == "typedef":
            m = re.fullmatch(r"([\w ]+?)(?:\[(\d+)\])?", c[2])
            sdk.typedefs[(ns, c[1])] = (m.group(1), int(m.group(2)) if m.group(2) else None)
            sdk.order[header].append(("typedef", c[1]))
        elif c[0] == "constant":
            ctype, value = c[2].split(" ", 1)
            sdk.constants[(ns, c[1])] = (None if ctype == "#define" else ctype, value)
            sdk.order[header].append(("constant", c[1]))
        elif c[0] == "enum":
            sdk.enums[(ns, c[1])] = [e.strip() for e in c[2].split(",")]
            sdk.order[header].append(("enum", c[1]))
        else:
            raise FactsError("%s: unexpected row %r" % (path, line))
    for key, (n, size) in ((k, v) for k, v in counts.items() if isinstance(v, tuple)):
        if len(sdk.structs[key]) != n:
            raise FactsError("%s: heading says %d fields, table has %d" % (key[1], n, len(sdk.structs[key])))
        if record_layout(sdk, key[0], key[1])[1] != size:
            raise FactsError("%s: its fields make %d bytes, the heading says %d"
                             % (key[1], record_layout(sdk, key[0], key[1])[1], size))
    for name, n in ((k, v) for k, v in counts.items() if isinstance(v, int)):
        if len(sdk.classes[name][1]) != n:
            raise FactsError("class %s: heading says %d methods, table has %d" % (name, n, len(sdk.classes[name][1])))
    return sdk


def record_sizes(sdk):
    """[(namespace, record, size)] of every record."""
    return [(ns, name, record_layout(sdk, ns, name)[1]) for (ns, name) in sdk.structs]


_EXPORT = """#ifdef {switch}
#  ifdef _WIN32
#    define {macro} __declspec(dllexport)
#  else
#    define {macro} __attribute__((visibility("default")))
#  endif
#else
#  define {macro}
#endif

"""


def write_headers(sdk, banner):
    """{header: text} of a stand-in that declares what the facts say, in the facts' order."""
    out = {}
    for h in sdk.files:
        info = sdk.headers[h]
        ns = info["namespace"]
        text = ["// %s\n// %s\n" % (h, banner), "#ifndef %s\n#define %s\n\n" % (info["guard"], info["guard"])]
        for inc in info["includes"]:
            text.append("#include %s\n" % inc)
        text.append("\n")
        if info["export"]:
            text.append(_EXPORT.format(switch=info["export"][0], macro=info["export"][1]))
        if ns:
            text.append("namespace %s\n{\n\n" % ns)
        for kind, name in sdk.order[h]:
            if kind == "typedef":
                ctype, n = sdk.typedef(ns, name)
                text.append("typedef %s %s%s;\n\n" % (ctype, name, "[%d]" % n if n else ""))
            elif kind == "constant":
                ctype, value = sdk.constants[(ns, name)]
                text.append("const %s %s = %s;\n" % (ctype, name, value) if ctype else
                            "#define %s %s\n" % (name, value))
            elif kind == "enum":
                members = sdk.enums[(ns, name)]
                text.append("enum %s\n{\n    %s = 0,\n%s};\n\n" % (
                    name, members[0], "".join("    %s,\n" % e for e in members[1:])))
            elif kind == "struct":
                text.append("struct %s\n{\n" % name)
                for field, typ in sdk.record(ns, name):
                    text.append("    %s %s;\n" % (typ, field))
                text.append("};\n\n")
            elif kind == "class":
                _, methods = sdk.classes[name]
                api = any(m.kind == "pure" for m in methods)
                export = info["export"][1] + " " if api and info["export"] else ""
                text.append("class %s%s\n{\npublic:\n" % (export, name))
                for m in methods:
                    params = _params_text(m)
                    if m.kind == "static":
                        text.append("    static %s %s(%s);\n" % (m.ret, m.name, params))
                    elif m.kind == "pure":
                        text.append("    virtual %s %s(%s) = 0;\n" % (m.ret, m.name, params))
                    else:
                        text.append("    virtual %s %s(%s) {}\n" % (m.ret, m.name, params))
                if api:
                    text.append("\nprotected:\n    ~%s() {}\n" % name)
                text.append("};\n\n")
        if ns:
            text.append("}  // namespace %s\n\n" % ns)
        text.append("#endif // %s\n" % info["guard"])
        out[h] = "".join(text)
    return out
