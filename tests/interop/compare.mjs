// Compares two recordings of the same calls packet by packet. Only the send id may differ, and
// only by one: node-simconnect counts from 0, our library from 1.

export const kSendIdOffset = 12;

function hex(bytes) {
  return Buffer.from(bytes).toString('hex').replace(/(..)/g, '$1 ').trim();
}

// Runs of differing bytes outside the send id, as "offset A-B: ours .., node-simconnect ..".
function differingRuns(ours, node) {
  const runs = [];
  const length = Math.min(ours.length, node.length);
  for (let at = 0; at < length; at++) {
    if (at >= kSendIdOffset && at < kSendIdOffset + 4) continue;
    if (ours[at] === node[at]) continue;
    let end = at;
    while (end + 1 < length && ours[end + 1] !== node[end + 1]) end++;
    runs.push(`offset ${at}-${end}: ours ${hex(ours.subarray(at, end + 1))}, ` +
      `node-simconnect ${hex(node.subarray(at, end + 1))}`);
    at = end;
  }
  return runs;
}

export function compare(ourPackets, nodePackets, names) {
  const findings = [];
  for (let i = 0; i < names.length; i++) {
    const [ours, node] = [ourPackets[i], nodePackets[i]];
    const where = `packet ${i} (${names[i]})`;
    if (!ours || !node) {
      findings.push(`${where}: ${ours ? 'missing from node-simconnect' : 'missing from ours'}`);
      continue;
    }
    if (ours.length !== node.length)
      findings.push(`${where}: ${ours.length} bytes, node-simconnect ${node.length}`);
    for (const run of differingRuns(ours, node)) findings.push(`${where}: ${run}`);
    const [ourId, nodeId] = [ours.readUInt32LE(kSendIdOffset), node.readUInt32LE(kSendIdOffset)];
    if (ourId !== nodeId + 1)
      findings.push(`${where}: send id ${ourId}, node-simconnect's ${nodeId} + 1 expected`);
  }
  if (ourPackets.length > names.length)
    findings.push(`ours sent ${ourPackets.length - names.length} packets more than were called`);
  return findings;
}
