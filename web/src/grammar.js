// The language's highlighting for the editor, read from the one grammar the
// editor packages use (editors/vscode/syntaxes): its match rules and its
// begin/end rules, applied a line at a time, as a CodeMirror stream language.
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';
import grammar from '../../editors/vscode/syntaxes/oxs.tmLanguage.json';

// Grammar scopes to the editor's token names, the first prefix that fits.
const kStyles = [
  ['comment', 'comment'], ['punctuation.definition.comment', 'comment'],
  ['string', 'string'], ['punctuation.definition.string', 'string'],
  ['constant.character.escape', 'escape'], ['constant.numeric', 'number'], ['invalid', 'invalid'],
  ['punctuation.definition.directive', 'directive'], ['keyword.control.directive', 'directive'],
  ['keyword.operator', 'operator'], ['keyword', 'keyword'], ['storage.type', 'type'],
  ['support.function', 'standard'], ['entity.name.constant', 'constant'],
];

const kTokens = {
  comment: tags.comment, string: tags.string, escape: tags.escape, number: tags.number, invalid: tags.invalid,
  directive: tags.processingInstruction, operator: tags.operator, keyword: tags.keyword, type: tags.typeName,
  standard: tags.standard(tags.function(tags.variableName)), constant: tags.constant(tags.variableName),
};

function styleOf(scope) {
  if (!scope) return null;
  const found = kStyles.find(([prefix]) => scope.startsWith(prefix));
  return found ? found[1] : null;
}

// A capture's style: its own scope, or that of the first rule it includes.
function captureStyle(capture) {
  if (!capture) return null;
  if (capture.name) return styleOf(capture.name);
  return capture.patterns ? rulesOf(capture.patterns)[0]?.style ?? null : null;
}

function sticky(source) {
  return new RegExp(source, 'yd');
}

// The rules in order, includes resolved.
function rulesOf(patterns) {
  return patterns.flatMap((p) => {
    if (p.include) return rulesOf(grammar.repository[p.include.slice(1)].patterns);
    const rule = { style: styleOf(p.name) };
    if (p.match) {
      rule.match = sticky(p.match);
      rule.captures = Object.entries(p.captures ?? {}).map(([group, c]) => [Number(group), captureStyle(c)]);
    } else {
      rule.begin = sticky(p.begin);
      rule.end = sticky(p.end);
      rule.inner = rulesOf(p.patterns ?? []);
    }
    return [rule];
  });
}

const kRules = rulesOf(grammar.patterns);

function matchAt(regex, stream) {
  regex.lastIndex = stream.pos;
  const m = regex.exec(stream.string);
  return m && m[0].length > 0 ? m : null;
}

// A match with captures is handed out piece by piece: each captured group
// in its style, the text between them in the rule's.
function pieces(m, rule) {
  const out = [];
  let at = m.index;
  for (const [group, style] of rule.captures.filter(([g]) => g > 0 && m.indices[g])) {
    const [from, to] = m.indices[group];
    if (from > at) out.push([from, rule.style]);
    out.push([to, style ?? rule.style]);
    at = to;
  }
  if (at < m.index + m[0].length) out.push([m.index + m[0].length, rule.style]);
  return out;
}

// Matches the region's end where it stands (an empty end, as "$", too).
function endsHere(rule, stream) {
  rule.end.lastIndex = stream.pos;
  const m = rule.end.exec(stream.string);
  return m ? m[0].length : -1;
}

// Within a begin/end region: its inner rules as tokens of their own, the
// rest in the region's style up to its end.
function inside(stream, state) {
  const rule = state.region;
  const start = stream.pos;
  while (!stream.eol()) {
    const end = endsHere(rule, stream);
    if (end >= 0) {
      stream.pos += end;
      state.region = null;
      break;
    }
    const inner = rule.inner.find((r) => matchAt(r.match ?? r.begin, stream));
    if (inner && stream.pos > start) break;
    if (inner) {
      stream.pos += matchAt(inner.match ?? inner.begin, stream)[0].length;
      closeAtLineEnd(stream, state);
      return inner.style;
    }
    stream.next();
  }
  closeAtLineEnd(stream, state);
  return rule.style;
}

// An end that matches the end of the line ("$") closes the region there.
function closeAtLineEnd(stream, state) {
  if (state.region && stream.eol() && endsHere(state.region, stream) === 0) state.region = null;
}

function outside(stream, state) {
  for (const rule of kRules) {
    const m = matchAt(rule.match ?? rule.begin, stream);
    if (!m) continue;
    if (rule.begin) {
      stream.pos += m[0].length;
      state.region = rule;
      closeAtLineEnd(stream, state);
      return rule.style;
    }
    if (rule.captures.length === 0) {
      stream.pos += m[0].length;
      return rule.style;
    }
    state.pending = pieces(m, rule);
    return piece(stream, state);
  }
  stream.next();
  return null;
}

function piece(stream, state) {
  const [to, style] = state.pending.shift();
  stream.pos = to;
  return style;
}

const oxs = StreamLanguage.define({
  name: 'oxs',
  startState: () => ({ region: null, pending: [] }),
  copyState: (s) => ({ region: s.region, pending: s.pending.slice() }),
  token(stream, state) {
    if (state.pending.length > 0) return piece(stream, state);
    if (stream.eatSpace()) return null;
    return state.region ? inside(stream, state) : outside(stream, state);
  },
  tokenTable: kTokens,
  languageData: { commentTokens: { line: '//', block: { open: '/*', close: '*/' } } },
});

const kHighlight = HighlightStyle.define([
  { tag: tags.comment, color: '#6a737d', fontStyle: 'italic' },
  { tag: [tags.string, tags.escape], color: '#0a6b3d' },
  { tag: tags.number, color: '#005cc5' },
  { tag: tags.keyword, color: '#a0307a', fontWeight: '600' },
  { tag: tags.typeName, color: '#6f42c1' },
  { tag: tags.processingInstruction, color: '#b05a00' },
  { tag: tags.standard(tags.function(tags.variableName)), color: '#1f5fa8' },
  { tag: tags.constant(tags.variableName), color: '#b05a00' },
  { tag: tags.invalid, color: '#c00', textDecoration: 'underline wavy' },
]);

export const oxsHighlighting = [oxs, syntaxHighlighting(kHighlight)];
