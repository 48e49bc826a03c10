#!/usr/bin/env bash
# Compiles the C# that a PowerShell script passes to Add-Type the way Windows
# PowerShell 5.1 would accept it: C# 5, against .NET Framework 4.8 with only
# mscorlib and System referenced, warnings as errors (Add-Type fails on a
# warning too).
#   check-csharp5.sh TOOLS_DIR SCRIPT WORK_DIR [TYPE...]
# Each TYPE must be declared by one of the extracted sources. Exit status: 0
# when everything compiles, 1 when it does not, 77 (skipped, with the reason
# on the output) when the tools or the reference assemblies cannot be had.
set -euo pipefail

tools=${1:?usage: check-csharp5.sh TOOLS_DIR SCRIPT WORK_DIR [TYPE...]}
[ -d "$tools" ] && tools=$(cd "$tools" && pwd)
script=${2:?usage: check-csharp5.sh TOOLS_DIR SCRIPT WORK_DIR [TYPE...]}
work=${3:?usage: check-csharp5.sh TOOLS_DIR SCRIPT WORK_DIR [TYPE...]}
shift 3
here=$(cd "$(dirname "$0")" && pwd)
pwsh=$tools/pwsh/pwsh

if ! command -v dotnet >/dev/null 2>&1; then
  echo "SKIPPED: dotnet is missing, the C# cannot be compiled"
  exit 77
fi
if [ ! -x "$pwsh" ]; then
  echo "SKIPPED: PowerShell, which extracts the C#, is not installed at $pwsh (scripts/install-pwsh.sh)"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/src"
export NO_COLOR=1
"$pwsh" -NoProfile -NonInteractive -File "$here/extract-csharp.ps1" -Script "$script" -OutDir "$work/src"

for type in "$@"; do
  if ! grep -Eq "(class|struct) $type\b" "$work"/src/*.cs; then
    echo "check-csharp5: no source declares $type"
    exit 1
  fi
done

cat >"$work/check.csproj" <<EOF
<Project Sdk="Microsoft.NET.Sdk">
  <PropertyGroup>
    <TargetFramework>net48</TargetFramework>
    <OutputType>Library</OutputType>
    <LangVersion>5</LangVersion>
    <Nullable>disable</Nullable>
    <ImplicitUsings>disable</ImplicitUsings>
    <WarningLevel>4</WarningLevel>
    <TreatWarningsAsErrors>true</TreatWarningsAsErrors>
    <EnableNETAnalyzers>false</EnableNETAnalyzers>
    <GenerateAssemblyInfo>false</GenerateAssemblyInfo>
    <EnableDefaultCompileItems>false</EnableDefaultCompileItems>
    <DisableImplicitFrameworkReferences>true</DisableImplicitFrameworkReferences>
    <RestorePackagesPath>$tools/nuget-packages</RestorePackagesPath>
  </PropertyGroup>
  <ItemGroup>
    <Reference Include="mscorlib" />
    <Reference Include="System" />
    <Compile Include="src/*.cs" />
  </ItemGroup>
</Project>
EOF

# Nothing may outlive the check: no build server, no compiler server.
flags=(-nologo -nodeReuse:false -p:UseSharedCompilation=false)
if ! restore=$(dotnet restore "${flags[@]}" "$work/check.csproj" 2>&1); then
  printf '%s\n' "$restore"
  echo "SKIPPED: the .NET Framework 4.8 reference assemblies could not be restored"
  exit 77
fi
if dotnet build "${flags[@]}" --no-restore -v quiet "$work/check.csproj"; then
  echo "check-csharp5: the C# of $script compiles as C# 5"
else
  echo "check-csharp5: the C# of $script does not compile as C# 5"
  exit 1
fi
