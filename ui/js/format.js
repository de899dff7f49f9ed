// Numbers as the plug-in prints them to the host: the shortest decimal text
// that reads back to the same double, in fixed or exponent form, whichever
// is shorter (fixed on a tie), with no trailing zeros and no "-0". The page
// shows exactly the texts a host shows for the same value.

export function formatShortest(value) {
  if (Number.isNaN(value)) return 'nan';
  if (value === Infinity) return 'inf';
  if (value === -Infinity) return '-inf';
  if (value === 0) return '0';
  const sign = value < 0 ? '-' : '';
  // Without an argument toExponential gives the shortest round-trip digits.
  const [mantissa, exponentText] = Math.abs(value).toExponential().split('e');
  const digits = mantissa.replace('.', '');
  const exponent = Number(exponentText);
  const fixed = fixedForm(digits, exponent);
  const scientific = `${digits[0]}${digits.length > 1 ? `.${digits.slice(1)}` : ''}e${exponent < 0 ? '-' : '+'}${String(Math.abs(exponent)).padStart(2, '0')}`;
  return sign + (scientific.length < fixed.length ? scientific : fixed);
}

// digits d1d2d3... with the first digit at 10^exponent.
function fixedForm(digits, exponent) {
  if (exponent < 0) return `0.${'0'.repeat(-exponent - 1)}${digits}`;
  const whole = exponent + 1;
  if (digits.length <= whole) return digits + '0'.repeat(whole - digits.length);
  return `${digits.slice(0, whole)}.${digits.slice(whole)}`;
}

// "2000 Hz", "0.7" (no unit), "-12 ct".
export function withUnit(text, units) {
  return units ? `${text} ${units}` : text;
}
