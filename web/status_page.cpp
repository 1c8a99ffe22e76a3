#include "web/status_page.h"

namespace {

constexpr std::string_view kPage = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>TOLVAN DDE Server</title>
<style>
body{font:14px system-ui,sans-serif;margin:0;padding:8px;background:#f6f7f9;color:#222}
h1{font-size:18px;margin:4px 0}h2{font-size:15px;margin:16px 0 4px}
.box{background:#fff;border:1px solid #ddd;border-radius:6px;padding:6px;overflow-x:auto}
table{border-collapse:collapse;width:100%}th,td{text-align:left;padding:3px 6px;border-bottom:1px solid #eee;white-space:nowrap}
td.text{white-space:pre-wrap;word-break:break-word;min-width:12em;font-family:monospace}
th{font-weight:600;color:#555}#health.ok{color:#17702d}#health.degraded{color:#b3261e}
#reports li{color:#b3261e}.dim{color:#777}canvas{width:100%;height:180px}
#legend span{margin-right:12px;white-space:nowrap}
</style>
</head>
<body>
<h1>TOLVAN DDE Server <span id="version" class="dim"></span></h1>
<div><b id="health">…</b> <span id="problems"></span></div>
<div class="dim">Up <span id="uptime"></span> · settings <span id="ini"></span> · <span id="live">connecting…</span></div>
<ul id="reports"></ul>
<h2>Inputs</h2><div class="box"><table id="inputs"></table></div>
<h2>Client port</h2><div class="box"><div id="port"></div><table id="clients"></table></div>
<h2>JSON outputs</h2><div class="box"><table id="outputs"></table></div>
<h2>Messages per minute, last hour</h2><div class="box"><canvas id="chart" width="800" height="180"></canvas><div id="legend"></div></div>
<h2>Last messages</h2><div class="box"><table id="messages"></table></div>
<script>
"use strict";
const colours=["#1f77b4","#d62728","#2ca02c","#9467bd","#ff7f0e","#8c564b","#e377c2","#17becf"];
let serverSkew=0;
function el(tag,text){const e=document.createElement(tag);if(text!==undefined)e.textContent=String(text);return e;}
function ago(t,now){if(t===null||t===undefined)return "never";const s=Math.max(0,now-t);
 if(s<60)return Math.floor(s)+" s ago";if(s<3600)return Math.floor(s/60)+" min ago";
 if(s<86400)return Math.floor(s/3600)+" h ago";return Math.floor(s/86400)+" days ago";}
function duration(s){s=Math.floor(s);const d=Math.floor(s/86400),h=Math.floor(s%86400/3600),m=Math.floor(s%3600/60);
 return (d?d+" d ":"")+(d||h?h+" h ":"")+m+" min "+(s%60)+" s";}
function clock(t){return new Date(t*1000).toLocaleTimeString();}
function table(id,heads,rows){const t=document.getElementById(id);t.replaceChildren();
 const hr=el("tr");for(const h of heads)hr.appendChild(el("th",h));t.appendChild(hr);
 for(const r of rows){const tr=el("tr");r.forEach((c,i)=>{const td=el("td",c);if(heads[i]==="Text")td.className="text";tr.appendChild(td);});t.appendChild(tr);}
 if(!rows.length){const tr=el("tr"),td=el("td","none");td.className="dim";td.colSpan=heads.length;tr.appendChild(td);t.appendChild(tr);}}
function chart(inputs){const c=document.getElementById("chart"),w=c.clientWidth||800,h=c.clientHeight||180;
 c.width=w;c.height=h;const g=c.getContext("2d");g.clearRect(0,0,w,h);
 let top=1;for(const i of inputs)for(const v of i.perMinute)top=Math.max(top,v);
 g.strokeStyle="#ccc";g.fillStyle="#777";g.font="11px sans-serif";g.beginPath();g.moveTo(30,4);g.lineTo(30,h-14);g.lineTo(w-4,h-14);g.stroke();
 g.fillText(String(top),2,12);g.fillText("0",2,h-14);g.fillText("-60 min",30,h-2);g.fillText("now",w-26,h-2);
 const legend=document.getElementById("legend");legend.replaceChildren();
 inputs.forEach((input,n)=>{const col=colours[n%colours.length];g.strokeStyle=col;g.lineWidth=2;g.beginPath();
  input.perMinute.forEach((v,x)=>{const px=30+(w-34)*x/59,py=(h-14)-(h-18)*v/top;x?g.lineTo(px,py):g.moveTo(px,py);});g.stroke();
  const s=el("span","■ "+input.name);s.style.color=col;legend.appendChild(s);});}
function show(s){const now=s.now;serverSkew=Date.now()/1000-now;
 document.getElementById("version").textContent="v"+s.version;
 const hl=document.getElementById("health");hl.textContent=s.health.status;hl.className=s.health.status;
 document.getElementById("problems").textContent=s.health.problems.join("; ");
 document.getElementById("uptime").textContent=duration(now-s.startedAt);
 document.getElementById("ini").textContent=s.settingsFile;
 const rep=document.getElementById("reports");rep.replaceChildren();for(const r of s.reports)rep.appendChild(el("li",r));
 table("inputs",["Input","State","Received","Forwarded","Filtered","Duplicates","Not read","Dropped","Last message"],
  s.inputs.map(i=>[i.name,i.state,i.received,i.forwarded,i.filtered,i.duplicates,i.notRead,i.dropped,ago(i.lastMessageAt,now)]));
 const p=s.clientPort;document.getElementById("port").textContent=(p.listening?"listening":"not listening")+" · sent "+p.sent+" · dropped "+p.dropped;
 table("clients",["Client","Connected since","Sent","Dropped"],p.clients.map(c=>[c.address,clock(c.connectedSince),c.sent,c.dropped]));
 table("outputs",["Output","State","Sent","Dropped","Last sent","Down since"],s.outputs.map(o=>[o.name,o.state,o.sent,o.dropped,ago(o.lastSendAt,now),o.downSince===null?"":clock(o.downSince)]));
 table("messages",["Time","Source","Registration","Flight","Label","Text"],s.messages.map(m=>[clock(m.at),m.source,m.registration,m.flight,m.label,m.text]));
 chart(s.inputs);}
function follow(){const live=document.getElementById("live");const es=new EventSource("api/events");
 es.onmessage=e=>{live.textContent="live";show(JSON.parse(e.data));};
 es.onerror=()=>{live.textContent="reconnecting…";};}
fetch("api/status").then(r=>r.json()).then(show).catch(()=>{}).finally(follow);
</script>
</body>
</html>
)page";

}  // namespace

std::string StatusPageUrl(const std::string& address, int port) {
  return "http://" + (address == "0.0.0.0" ? std::string("127.0.0.1") : address) + ":" + std::to_string(port) + "/";
}

std::string_view StatusPage() {
  return kPage;
}
