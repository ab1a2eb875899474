"""Finds the mutants of one C++ source file through libclang.

Only expressions and statements that the compiler sees are mutated, so
strings, comments and code that comes from macros or other files never are.
A mutant is one replacement of a byte range of the file.
"""

import bisect
import hashlib
import shlex
from dataclasses import dataclass

import clang.cindex as ci

K = ci.CursorKind

RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
EQUALITY = {"==": "!=", "!=": "=="}
LOGICAL = {"&&": "||", "||": "&&"}
COMPARISON = {**RELATIONAL, **EQUALITY}
ARITHMETIC = {"+": "-", "-": "+", "+=": "-=", "-=": "+="}
OVERLOADED = {"operator" + op: op for op in COMPARISON}

NUMBER_KINDS = {
    getattr(ci.TypeKind, name)
    for name in ("BOOL", "CHAR_U", "UCHAR", "CHAR16", "CHAR32", "USHORT", "UINT", "ULONG",
                 "ULONGLONG", "UINT128", "CHAR_S", "SCHAR", "WCHAR", "SHORT", "INT", "LONG",
                 "LONGLONG", "INT128", "FLOAT", "DOUBLE", "LONGDOUBLE", "ENUM")
}
FUNCTION_KINDS = {K.FUNCTION_DECL, K.CXX_METHOD, K.CONSTRUCTOR, K.DESTRUCTOR,
                  K.FUNCTION_TEMPLATE, K.CONVERSION_FUNCTION, K.LAMBDA_EXPR}
CONDITION_KINDS = {K.IF_STMT, K.WHILE_STMT, K.DO_STMT, K.FOR_STMT}


@dataclass
class Mutant:
    """One change to one file: bytes [start, end) become `replacement`."""

    path: str  # relative to the source root
    operator: str
    start: int
    end: int
    original: str
    replacement: str
    line: int
    column: int
    end_line: int
    end_column: int
    id: str = ""


def compile_arguments(command):
    """The compiler's arguments from a compile_commands.json command, for libclang."""
    words = shlex.split(command)[1:]
    keep = []
    skip_next = False
    for word in words:
        if skip_next:
            skip_next = False
        elif word == "-o":
            skip_next = True
        elif word not in ("-c", "-Werror") and not word.startswith("-Wno-"):
            keep.append(word)
    return keep[:-1]  # the source file itself


class FileMutator:
    """Walks one translation unit and collects the mutants of its main file."""

    def __init__(self, source_root, path, command):
        self.path = path
        self.file = f"{source_root}/{path}"
        with open(self.file, "rb") as f:
            self.text = f.read()
        self.line_starts = [0] + [i + 1 for i, b in enumerate(self.text) if b == 0x0A]
        index = ci.Index.create()
        self.unit = index.parse(self.file, args=compile_arguments(command))
        tokens = self.unit.get_tokens(extent=self.unit.cursor.extent)
        self.tokens = [(t.extent.start.offset, t.extent.end.offset, t.spelling) for t in tokens
                       if t.location.file and t.location.file.name == self.file]
        self.token_starts = [t[0] for t in self.tokens]
        self.mutants = []

    def find(self):
        """Every mutant of the file, in file order, with stable ids."""
        self._walk(self.unit.cursor)
        # A struct declared with a variable of its type is walked twice.
        unique = {(m.start, m.end, m.operator, m.replacement): m for m in self.mutants}
        self.mutants = sorted(unique.values(), key=lambda m: (m.start, m.end, m.operator,
                                                              m.replacement))
        self._assign_ids()
        return self.mutants

    # The walk.

    def _walk(self, root):
        stack = [(root, None)]
        while stack:
            cursor, parent = stack.pop()
            if cursor.kind != K.TRANSLATION_UNIT and not self._in_file(cursor):
                continue
            self._visit(cursor, parent)
            for child in cursor.get_children():
                stack.append((child, cursor))

    def _in_file(self, cursor):
        start = cursor.extent.start
        return start.file is not None and start.file.name == self.file

    def _visit(self, cursor, parent):
        kind = cursor.kind
        if kind in (K.BINARY_OPERATOR, K.COMPOUND_ASSIGNMENT_OPERATOR):
            self._binary(cursor, list(cursor.get_children()))
        elif kind == K.CALL_EXPR and cursor.spelling in OVERLOADED:
            self._overloaded(cursor)
        elif kind == K.UNARY_OPERATOR:
            self._not(cursor)
        elif kind == K.CXX_BOOL_LITERAL_EXPR:
            self._boolean(cursor)
        elif kind == K.INTEGER_LITERAL:
            self._integer(cursor)
        elif kind in CONDITION_KINDS:
            self._condition(cursor)
            self._statements(cursor, early=True)
        elif kind == K.CONDITIONAL_OPERATOR:
            children = list(cursor.get_children())
            if children:
                self._negate("ConditionalExpression", *self._extent(children[0]))
        elif kind == K.COMPOUND_STMT:
            self._statements(cursor, early=parent is None or parent.kind not in FUNCTION_KINDS)

    # Operators.

    def _binary(self, cursor, operands):
        if len(operands) != 2:
            return
        token = self._operator_between(operands[0], operands[1])
        if token is None:
            return
        op = token[2]
        if op in COMPARISON:
            self._add("EqualityOperator", token[0], token[1], COMPARISON[op])
        elif op in LOGICAL:
            self._logical(operands, token)
        elif op in ARITHMETIC and self._numeric_arithmetic(operands):
            self._add("ArithmeticOperator", token[0], token[1], ARITHMETIC[op])

    def _logical(self, operands, token):
        """Swaps `&&` and `||` in parentheses, so that `a && b && c` becomes
        `(a || b) && c` as the tree says, and the compiler does not warn of
        the two mixed."""
        left, right = operands
        (start, left_end), (right_start, end) = self._extent(left), self._extent(right)
        before = self._source(left_end, token[0])
        after = self._source(token[1], right_start)
        swapped = f"{self._grouped(left)}{before}{LOGICAL[token[2]]}{after}{self._grouped(right)}"
        self._add("LogicalOperator", start, end, f"({swapped})")

    def _grouped(self, operand):
        text = self._source(*self._extent(operand))
        return f"({text})" if operand.kind == K.BINARY_OPERATOR else text

    def _overloaded(self, cursor):
        arguments = list(cursor.get_arguments())
        if len(arguments) != 2:
            return
        token = self._operator_between(arguments[0], arguments[1])
        if token is not None and token[2] == OVERLOADED[cursor.spelling]:
            self._add("EqualityOperator", token[0], token[1], COMPARISON[token[2]])

    def _operator_between(self, left, right):
        """The operator token between two operands, when it is in this file."""
        after, before = left.extent.end.offset, right.extent.start.offset
        if not (self._in_file(left) and self._in_file(right)) or after > before:
            return None
        i = bisect.bisect_left(self.token_starts, after)
        if i < len(self.tokens) and self.tokens[i][1] <= before:
            return self.tokens[i]
        return None

    @staticmethod
    def _numeric_arithmetic(operands):
        left, right = (o.type.get_canonical().kind for o in operands)
        return right in NUMBER_KINDS and (left in NUMBER_KINDS or left == ci.TypeKind.POINTER)

    def _not(self, cursor):
        start, end = self._extent(cursor)
        if self.text[start:start + 1] != b"!" or self.text[start:start + 2] == b"!=":
            return
        operand = start + 1
        self._add("BooleanNegationRemoved", start, end,
                  self.text[operand:end].decode())

    def _boolean(self, cursor):
        start, end = self._extent(cursor)
        word = self.text[start:end]
        if word in (b"true", b"false"):
            self._add("BooleanLiteral", start, end, "false" if word == b"true" else "true")

    def _integer(self, cursor):
        start, end = self._extent(cursor)
        word = self.text[start:end].decode(errors="replace")
        digits = word.rstrip("uUlL").replace("'", "")
        suffix = word[len(word.rstrip("uUlL")):]
        try:
            value = int(digits, 0)
        except ValueError:
            return
        for changed in (value + 1, value - 1):
            if changed >= 0 or not suffix.lower().startswith("u"):
                spelled = hex(changed) if digits.lower().startswith("0x") else str(changed)
                self._add("IntegerLiteral", start, end, f"{spelled}{suffix}")

    def _condition(self, cursor):
        tokens = self._tokens_in(cursor)
        if cursor.kind == K.DO_STMT:
            whiles = [i for i, t in enumerate(tokens) if t[2] == "while"]
            if not whiles:
                return
            tokens = tokens[whiles[-1]:]
        opening = next((i for i, t in enumerate(tokens) if t[2] == "("), None)
        if opening is None:
            return
        parts = self._top_level_parts(tokens, opening)
        if parts is None:
            return
        condition = parts[1] if cursor.kind == K.FOR_STMT and len(parts) == 3 else parts[-1]
        if not condition or self._declares(cursor, condition[0][0], condition[-1][1]):
            return
        self._negate("ConditionalExpression", condition[0][0], condition[-1][1])

    @staticmethod
    def _top_level_parts(tokens, opening):
        """The tokens inside the parenthesis at `opening`, split at top-level ';'."""
        parts, depth = [[]], 0
        for token in tokens[opening + 1:]:
            if token[2] in ("(", "[", "{"):
                depth += 1
            elif token[2] in (")", "]", "}"):
                if depth == 0:
                    return parts
                depth -= 1
            elif token[2] == ";" and depth == 0:
                parts.append([])
                continue
            parts[-1].append(token)
        return None

    @staticmethod
    def _declares(cursor, start, end):
        """Whether the statement declares a variable inside [start, end)."""
        for child in cursor.get_children():
            if child.kind in (K.VAR_DECL, K.DECL_STMT):
                if start <= child.extent.start.offset < end:
                    return True
        return False

    def _negate(self, operator, start, end):
        original = self.text[start:end].decode()
        self._add(operator, start, end, f"!({original})")

    def _statements(self, block, early):
        """Removes the call statements of a block or a loop's or if's body, and its
        returns when they are `early` (not the function's own last word)."""
        for statement in block.get_children():
            if not self._in_file(statement):
                continue
            if statement.kind == K.RETURN_STMT and early:
                self._remove("ReturnRemoval", statement)
            elif self._is_call(statement):
                self._remove("StatementRemoval", statement)

    @staticmethod
    def _is_call(statement):
        node = statement
        while node.kind == K.UNEXPOSED_EXPR:
            children = list(node.get_children())
            if len(children) != 1 or children[0].extent != node.extent:
                return False
            node = children[0]
        return node.kind == K.CALL_EXPR

    def _remove(self, operator, statement):
        start, end = self._extent(statement)
        i = bisect.bisect_left(self.token_starts, end)
        if i < len(self.tokens) and self.tokens[i][2] == ";":
            self._add(operator, start, self.tokens[i][1], "{}")

    # Helpers.

    def _source(self, start, end):
        return self.text[start:end].decode(errors="replace")

    def _extent(self, cursor):
        return cursor.extent.start.offset, cursor.extent.end.offset

    def _tokens_in(self, cursor):
        start, end = self._extent(cursor)
        i = bisect.bisect_left(self.token_starts, start)
        j = bisect.bisect_left(self.token_starts, end)
        return self.tokens[i:j]

    def _position(self, offset):
        line = bisect.bisect_right(self.line_starts, offset)
        return line, offset - self.line_starts[line - 1] + 1

    def _add(self, operator, start, end, replacement):
        if start >= end or end > len(self.text):
            return
        original = self.text[start:end].decode(errors="replace")
        if original == replacement:
            return
        line, column = self._position(start)
        end_line, end_column = self._position(end)
        self.mutants.append(Mutant(self.path, operator, start, end, original, replacement,
                                   line, column, end_line, end_column))

    def _assign_ids(self):
        """Ids from what the mutant changes and the text of its line, not its place."""
        seen = {}
        for mutant in self.mutants:
            line_text = self._line_text(mutant.line)
            key = "\0".join([mutant.path, mutant.operator, mutant.original,
                             mutant.replacement, line_text])
            occurrence = seen.get(key, 0)
            seen[key] = occurrence + 1
            digest = hashlib.sha1(f"{key}\0{occurrence}".encode()).hexdigest()
            mutant.id = digest[:10]

    def _line_text(self, line):
        start = self.line_starts[line - 1]
        end = self.line_starts[line] if line < len(self.line_starts) else len(self.text)
        return self.text[start:end].decode(errors="replace").strip()
