# Writes the C# sources that a PowerShell script hands to Add-Type into
# OutDir, one file per source, named after the variable that holds it.
# Every Add-Type of the script must take -TypeDefinition from a variable
# assigned exactly one literal here-string (or take the literal itself):
# anything else is an error, so that no source escapes the check.
param(
    [Parameter(Mandatory = $true)][string]$Script,
    [Parameter(Mandatory = $true)][string]$OutDir
)

$ErrorActionPreference = 'Stop'
$language = [System.Management.Automation.Language.Parser]
$tokens = $null
$parseErrors = $null
$ast = $language::ParseFile($Script, [ref]$tokens, [ref]$parseErrors)
if ($parseErrors.Count -gt 0) {
    throw "extract-csharp: $Script does not parse: $($parseErrors[0].Message) (line $($parseErrors[0].Extent.StartLineNumber))"
}

function Get-LiteralText($Expression) {
    if ($Expression -is [System.Management.Automation.Language.StringConstantExpressionAst]) {
        return $Expression.Value
    }
    return $null
}

# Literal strings assigned to plain variables, by variable name.
$literals = @{}
$assignments = $ast.FindAll({ param($node) $node -is [System.Management.Automation.Language.AssignmentStatementAst] }, $true)
foreach ($assignment in $assignments) {
    if ($assignment.Left -isnot [System.Management.Automation.Language.VariableExpressionAst]) { continue }
    if ($assignment.Right -isnot [System.Management.Automation.Language.CommandExpressionAst]) { continue }
    $text = Get-LiteralText $assignment.Right.Expression
    if ($null -eq $text) { continue }
    $name = $assignment.Left.VariablePath.UserPath
    if (-not $literals.ContainsKey($name)) { $literals[$name] = @() }
    $literals[$name] += , $text
}

$null = New-Item -ItemType Directory -Force -Path $OutDir
$count = 0
$commands = $ast.FindAll({ param($node) $node -is [System.Management.Automation.Language.CommandAst] -and $node.GetCommandName() -eq 'Add-Type' }, $true)
foreach ($command in $commands) {
    $line = $command.Extent.StartLineNumber
    $elements = $command.CommandElements
    $argument = $null
    for ($i = 1; $i -lt $elements.Count; $i++) {
        $element = $elements[$i]
        if ($element -is [System.Management.Automation.Language.CommandParameterAst] -and
            'TypeDefinition'.StartsWith($element.ParameterName, [System.StringComparison]::OrdinalIgnoreCase)) {
            $argument = $element.Argument
            if ($null -eq $argument -and $i + 1 -lt $elements.Count) { $argument = $elements[$i + 1] }
            break
        }
    }
    if ($null -eq $argument) {
        throw "extract-csharp: Add-Type without -TypeDefinition at line $line"
    }
    $name = "AddType$line"
    if ($argument -is [System.Management.Automation.Language.VariableExpressionAst]) {
        $name = $argument.VariablePath.UserPath
        if (-not $literals.ContainsKey($name)) {
            throw "extract-csharp: `$$name, used by Add-Type at line $line, is not assigned a literal string"
        }
        if ($literals[$name].Count -ne 1) {
            throw "extract-csharp: `$$name, used by Add-Type at line $line, is assigned more than one literal"
        }
        $source = $literals[$name][0]
    } else {
        $source = Get-LiteralText $argument
        if ($null -eq $source) {
            throw "extract-csharp: the -TypeDefinition of Add-Type at line $line is not a literal string"
        }
    }
    $file = Join-Path $OutDir "$name.cs"
    [System.IO.File]::WriteAllText($file, $source)
    "extract-csharp: `$$name (Add-Type at line $line) -> $file"
    $count++
}
if ($count -eq 0) {
    throw "extract-csharp: no Add-Type in $Script"
}
