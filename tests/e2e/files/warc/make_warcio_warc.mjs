// Makes warcio-site.warc.gz with a second real WARC writer: Webrecorder's warcio (the npm
// package), gzip-compressed record by record, member by member; decompressed whole, it is the
// same crawl as a plain file (the tables read it so too, through gzip -dc).
// The files are committed, so the tests need neither node nor warcio. To make them again:
//
//   mkdir /tmp/warcio && cd /tmp/warcio && npm install warcio@2.4.11
//   node PATH/TO/tests/e2e/files/warc/make_warcio_warc.mjs      (from /tmp/warcio)
//
// warcio is looked for from the current folder; the files are written beside this script.
// Dates and record ids are fixed, so that the files come out the same each time.
import { createRequire } from "node:module";
import { writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const warcioPath = createRequire(join(process.cwd(), "x.js")).resolve("warcio");
const { WARCRecord, WARCSerializer } = await import(warcioPath);

const site = "https://shop.example/";
const date = "2026-03-04T05:06:07Z";
const text = (s) => new TextEncoder().encode(s);
let serial = 0;
const id = () => `<urn:uuid:00000000-0000-4000-8000-${String(++serial).padStart(12, "0")}>`;

function page(title, body) {
  return `<!doctype html>\n<html><head><title>${title}</title></head>\n<body>${body}</body></html>\n`;
}

const index = page("Shop", '<a href="/shoes">Shoes</a> <a href="/old">Old</a> <img src="/logo.png"> <a href="/gone">Gone</a>');
const plain = (type) => ({ "Content-Type": type });

// [type, path, options, body]; "request" also writes the request before the response, as
// crawlers do.
const records = [
  ["request", "", { httpHeaders: plain("text/html; charset=utf-8") }, index],
  ["request", "gone", { statusline: "HTTP/1.1 404 Not Found", httpHeaders: plain("text/html") },
   page("Not found", '<a href="/">home</a>')],
  ["response", "old", { statusline: "HTTP/1.1 301 Moved Permanently",
                        httpHeaders: { "Content-Type": "text/html", Location: site + "shoes" } },
   page("Moved", '<a href="/shoes">here</a>')],
  ["response", "logo.png", { httpHeaders: plain("image/png") }, new Uint8Array([137, 80, 78, 71, 13, 10, 26, 10, 0, 0])],
  // Payloads the crawler cut at a fixed size, inside a tag.
  ["response", "long", { httpHeaders: plain("text/html"), warcHeaders: { "WARC-Truncated": "length" } },
   page("Long", '<a href="/a">a</a> <img src="/very/long/name.png" alt="a pic').slice(0, 120)],
  ["response", "longer", { httpHeaders: plain("text/html; charset=ISO-8859-1"), warcHeaders: { "WARC-Truncated": "length" } },
   page("Longer", '<p>text</p><a href="/b">b</a> <a href="/c" title="a long title').slice(0, 128)],
  ["metadata", "", { warcHeaders: { "Content-Type": "application/warc-fields" } }, "outlinks: /shoes /old /gone\r\n"],
  ["revisit", "", { httpHeaders: plain("text/html; charset=utf-8"), refersToUrl: site, refersToDate: date }, ""],
];

async function serialize(gzip) {
  serial = 0;
  const parts = [];
  for (const [type, path, options, body] of records) {
    const url = site + path;
    const write = async (t, opts, content) => {
      const warcHeaders = { "WARC-Record-ID": id(), ...(opts.warcHeaders || {}) };
      const record = await WARCRecord.create(
        { url, date, type: t, warcVersion: "WARC/1.1", ...opts, warcHeaders, filename: "warcio-site.warc" },
        [typeof content === "string" ? text(content) : content]);
      parts.push(await WARCSerializer.serialize(record, { gzip }));
    };
    if (type === "request")
      await write("request", { statusline: `GET /${path} HTTP/1.1`, httpHeaders: { Host: "shop.example" } }, "");
    await write(type === "request" ? "response" : type, options, body);
  }
  return Buffer.concat(parts.map((p) => Buffer.from(p)));
}

const here = dirname(fileURLToPath(import.meta.url));
writeFileSync(join(here, "warcio-site.warc.gz"), await serialize(true));
