"""Read what a set of TORA SDK headers declares: type names, records, API classes, constants.

Used by tools/gen_tora.py to build the record tables from the headers a build actually uses
(our stand-in, a stand-in of another SDK profile, or the vendor's own SDK), so that the event
table, the field lists and the rendering always match the SDK that is linked.

The headers are plain declarations of one shape (the vendor's and ours alike): typedefs of
char/int/double/long long (char arrays for text), records of typedef'd fields, classes of
virtual methods, constants as `#define NAME 'c'` (legacy) or `const char NAME = 'c';` (the
current generation, inside a namespace). Vendor headers are GB2312 text; only ASCII matters here.
"""

import os
import re


class Method:
    def __init__(self, kind, ret, name, params):
        self.kind = kind        # "static", "virtual" (has a body) or "pure"
        self.ret = ret          # return type, spaces normalised ("CTORATstpTraderApi *")
        self.name = name
        self.params = params    # [(type, name or None, default or None)]

    def param_types(self):
        return [t for t, _, _ in self.params]


class Sdk:
    """Declarations keyed by (namespace, name); the namespace is None in the legacy headers.
    The current generation declares the trader side and the market-data side in namespaces of
    their own, each with records of the same names but not the same layouts."""

    def __init__(self):
        self.typedefs = {}      # (namespace, name) -> (ctype, n or None)
        self.structs = {}       # (namespace, name) -> [(field, type)]
        self.classes = {}       # name -> (namespace, [Method])
        self.constants = {}     # (namespace, name) -> (type or None, value text)
        self.enums = {}         # (namespace, name) -> [enumerator names]
        self.files = []
        # Per header, in declaration order: (kind, name) with kind typedef, constant, enum,
        # struct or class; and the header's namespace, include guard, includes and export macro.
        self.order = {}
        self.headers = {}       # file -> {"namespace", "guard", "includes", "export"}
        self.families = {}      # (namespace, constant) -> the type name whose codes it is

    def record(self, ns, name):
        return self.structs.get((ns, name))

    def typedef(self, ns, name):
        return self.typedefs.get((ns, name))

    # The first parameter type of a callback, as a record name (None without a record).
    def callback_record(self, cls, method):
        c = self.classes.get(cls)
        if not c:
            return None
        for m in c[1]:
            if m.name == method and m.params:
                t = m.params[0][0].replace(" ", "")
                if t.endswith("*") and t[:-1] != "CTORATstpRspInfoField":
                    return t[:-1]
        return None

    def method(self, cls, name):
        c = self.classes.get(cls)
        if c:
            for m in c[1]:
                if m.name == name:
                    return m
        return None

    def namespace_of_class(self, cls):
        c = self.classes.get(cls)
        return c[0] if c else None


def _strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def _norm_type(t):
    t = " ".join(t.replace("*", " * ").replace("&", " & ").split())
    t = t.replace(" *", "*").replace(" &", "&")
    return t


def _ctype(t):
    t = " ".join(t.split())
    return {"long long int": "long long", "__int64": "long long", "signed char": "char"}.get(t, t)


def _split_params(text):
    out = []
    depth = 0
    cur = ""
    for ch in text:
        if ch == "," and depth == 0:
            out.append(cur)
            cur = ""
            continue
        if ch in "(<":
            depth += 1
        elif ch in ")>":
            depth -= 1
        cur += ch
    if cur.strip():
        out.append(cur)
    params = []
    for p in out:
        p = p.strip()
        if not p or p == "void":
            continue
        default = None
        if "=" in p:
            p, default = [s.strip() for s in p.split("=", 1)]
        m = re.fullmatch(r"(.*?[\s\*&])(\w+)", p)
        if m and m.group(1).strip() and not re.fullmatch(r"(const\s+)?(unsigned\s+)?\w+", p):
            params.append((_norm_type(m.group(1)), m.group(2), default))
        else:
            params.append((_norm_type(p), None, default))
    return params


_METHOD = re.compile(r"(static|virtual)\s+([\w\s\*&:]+?)\s*\b(\w+)\s*\(([^)]*)\)\s*(const\s*)?(=\s*0\s*;|\{[^}]*\}\s*;?|;)")


def _parse_class_body(body):
    methods = []
    for m in _METHOD.finditer(body):
        kind, ret, name, params, _, tail = m.groups()
        if kind == "virtual" and tail.startswith("="):
            kind = "pure"
        methods.append(Method(kind, _norm_type(ret), name, _split_params(params)))
    return methods


def _blocks(text, keyword):
    """(name, body, position) of every `keyword [EXPORT] Name { ... };`, braces balanced."""
    for m in re.finditer(r"\b%s\s+(?:\w+\s+)?(\w+)\s*\{" % keyword, text):
        depth, i = 1, m.end()
        while depth and i < len(text):
            if text[i] == "{":
                depth += 1
            elif text[i] == "}":
                depth -= 1
            i += 1
        yield m.group(1), text[m.end():i - 1], m.start()


def read_file(sdk, path):
    with open(path, "rb") as f:
        text = f.read().decode("gb18030", "replace")
    text = _strip_comments(text)
    name = os.path.basename(path)
    guard = re.search(r"^\s*#\s*(?:ifndef\s+(\w+)|if\s+!\s*defined\s*\(\s*(\w+)\s*\))", text, re.M)
    export = re.search(r"^\s*#\s*ifdef\s+(\w+_EXPORT)\s*$.*?#\s*define\s+(\w+_DLL_EXPORT)\b", text, re.M | re.S)
    items = []      # (position, kind, name)
    for m in re.finditer(r"^\s*#\s*define\s+(TORA_\w+)\s+('(?:\\.|[^'])'|\"[^\"]*\"|-?\d+)\s*$", text, re.M):
        sdk.constants.setdefault((None, m.group(1)), (None, m.group(2)))
        items.append((m.start(), "constant", m.group(1)))
    body = re.sub(r"^[ \t]*#.*$", lambda m: " " * len(m.group(0)), text, flags=re.M)
    ns_match = re.search(r"\bnamespace\s+(\w+)\s*\{", body)
    ns = ns_match.group(1) if ns_match else None
    for m in re.finditer(r"\btypedef\s+([\w ]+?)\s+(TTORA\w+)\s*(?:\[\s*(\d+)\s*\])?\s*;", body):
        sdk.typedefs.setdefault((ns, m.group(2)), (_ctype(m.group(1)), int(m.group(3)) if m.group(3) else None))
        items.append((m.start(), "typedef", m.group(2)))
    for m in re.finditer(r"\bconst\s+(\w+)\s+(TORA_\w+)\s*=\s*([^;]+);", body):
        sdk.constants.setdefault((ns, m.group(2)), (m.group(1), m.group(3).strip()))
        items.append((m.start(), "constant", m.group(2)))
    for m in re.finditer(r"\benum\s+(\w+)\s*\{([^}]*)\}", body):
        sdk.enums.setdefault((ns, m.group(1)), [e.split("=")[0].strip() for e in m.group(2).split(",") if e.strip()])
        items.append((m.start(), "enum", m.group(1)))
    for sname, block, pos in _blocks(body, "struct"):
        if not sname.startswith("CTORA"):
            continue
        fields = [(f, t) for t, f in re.findall(r"(\w+)\s+(\w+)\s*;", block)]
        sdk.structs.setdefault((ns, sname), fields)
        items.append((pos, "struct", sname))
    for cname, block, pos in _blocks(body, "class"):
        if cname.startswith("CTORA"):
            sdk.classes.setdefault(cname, (ns, _parse_class_body(block)))
            items.append((pos, "class", cname))
    # The #define positions are in `text`, the others in `body`: the two differ only in lines
    # blanked, not in length, so positions compare.
    items.sort()
    sdk.order[name] = [(kind, n) for _, kind, n in items]
    # A header's constants code the type named right after them (the vendor's layout; our legacy
    # stand-in lists them after their type, and its facts name their types).
    pending = []
    for kind, n in sdk.order[name]:
        if kind == "constant":
            pending.append(n)
        elif kind == "typedef":
            for c in pending:
                sdk.families.setdefault((ns, c), n)
            pending = []
    includes = re.findall(r"^\s*#\s*include\s+([<\"][^>\"]+[>\"])", text, re.M)
    sdk.headers[name] = {"namespace": ns, "guard": guard and (guard.group(1) or guard.group(2)),
                         "includes": includes, "export": export and (export.group(1), export.group(2))}
    sdk.files.append(name)


# Headers of other products that some SDK folders carry beside the stock ones (options,
# level-2 market data): not what this engine links.
_OTHER_PRODUCTS = re.compile(r"^TORATstp(SP|Lev2)")


def read_sdk(include_dir):
    sdk = Sdk()
    for n in sorted(os.listdir(include_dir)):
        if n.endswith(".h") and not _OTHER_PRODUCTS.match(n):
            read_file(sdk, os.path.join(include_dir, n))
    return sdk
